// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/selected_model.hpp"
#include "engine/operation_kind.hpp"
#include "engine/programmer_link.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaline {

class BatchLink;
class BytePort;
class ByteTrace;
class EngineHost;

// The state of the operation in progress.
struct ExecutionState {
    DeviceScript RunningScript;
    std::int32_t LastInstruction = 0;
    // 1-based; LastInstruction + 1 means the script has run to its end.
    std::int32_t InstructionIndex = 1;
    // How far the current multi-phase instruction has got; 0 when it has sent nothing.
    std::int32_t InstructionPhase = 0;
    std::int32_t CurrentAddress = 0;
    std::int32_t FlashLastAddress = -1;
    std::int32_t EepromLastAddress = -1;
    std::int32_t LoopStartIndex = 0;
    std::int32_t LoopEndAddress = -1;
    std::int32_t ReceivedByte = 0;
    std::int32_t TempByte = 0;
    bool CheckFailed = false;
    // DEVID2:DEVID1 as the identify sequence read it.
    std::int32_t DeviceIdRead = 0;
    // The operation in progress; none when idle.
    std::optional<OperationKind> RunningOperation;
};

// Interprets a device script one step per reply byte of the programmer unit: each step
// executes one phase of the current instruction and sends at most one command. Its state
// changes only through start, receiveByte and stop; everyone else reads it.
class ScriptEngine {
public:
    ScriptEngine(ProgramBuffer& buffer, const SelectedModelValues& model, BytePort& port,
                 EngineHost& host);

    // Loads the script, covers the whole FLASH and EEPROM of the model from address 0,
    // clears CheckFailed for a blank check or verify, and runs the first step. Unless that
    // step met a word it cannot execute, the operation then runs.
    void start(OperationKind kind, const DeviceScript& script);

    // A byte from the unit. While an operation runs it is the reply that runs the next
    // step; otherwise it is dropped.
    void receiveByte(std::uint8_t value);
    // A reply taken without running a step, when the operation is about to be stopped.
    void consumeReply(std::uint8_t value) { m_link.received(value); }
    // The reply bytes still due for the commands sent.
    int outstandingReplies() const { return m_link.outstandingReplies(); }
    // The last command sent is the NOP of a "loop" word: every instruction and write of
    // the loop's body is complete, so the chip is idle until the next pass.
    bool atLoopEnd() const { return m_atLoopEnd; }
    // Whether the "ifverify" blocks of a script run (Program All verifies what it wrote).
    void setVerifyAfterProgram(bool on) { m_verifyAfterProgram = on; }
    // Whether the chip's configuration is in place, so that addresses the image
    // code-protects must read 00h; not so while Program All checks what it wrote before
    // the configuration bytes.
    void setProtectionInPlace(bool on) { m_protectionInPlace = on; }

    // A new operation: no reply is due from anything sent before it.
    void resetReplies() { m_link.reset(); }
    // Ends the script before its end: no step runs any more and the script sends nothing
    // more. The two commands below still go out, for the operation control to end with.
    void halt();
    // The NOP operand (16 clocks with PGD low) that completes a core instruction whose
    // 4-bit code went out alone.
    void sendNopOperand();
    // The end command: the unit removes the programming voltages.
    void sendEnd();
    // The unit's own commands, outside any script (the probe, the report, the
    // calibration), each for the trace under `word`; the operation control takes their
    // replies.
    void sendProgTime(std::int32_t milliseconds, std::string_view word);
    void sendUnitReport(std::string_view word);
    void sendEnterFast(std::int32_t rate, std::string_view word);
    void sendCalibrate(std::int32_t millivolts, std::string_view word);
    // The commands that the unit takes (its type): no other command byte goes out.
    void setUnitType(CommandSet set) { m_link.setCommandSet(set); }
    CommandSet unitType() const { return m_link.commandSet(); }
    // The 4-bit ICSP command whose operand has not been sent yet, or -1.
    int codeWaiting() const { return m_link.codeWaiting(); }
    // A command's bytes are going out (events run between them).
    bool writingCommand() const { return m_link.writingCommand(); }

    const ExecutionState& state() const { return m_state; }
    bool running() const { return m_state.RunningOperation.has_value(); }
    // True once an instruction could not be executed; the engine then sends nothing more.
    bool halted() const { return m_halted; }

    void setTrace(ByteTrace* trace) { m_link.setTrace(trace); }

    // Fast mode: the commands go into the packets of `batch` (nullptr: plain mode), and
    // every reply a command asks for comes at once, as 00h, so that the engine runs ahead
    // of the unit. A read's data byte is not known then: the read registers what its byte
    // is for (a FLASH, EEPROM or configuration byte, a half of the device ID, TempByte, or
    // a check with the value it expects), and applyReads completes it once the packet's
    // reply has come. A check is taken as passed until then.
    void setBatch(BatchLink* batch);
    bool fast() const { return m_link.batching(); }
    // The data bytes of a good reply, in the order of the reads that asked for them. A
    // check that fails is reported as in plain mode and marks the operation's checks
    // failed; the data that follow it are ignored.
    void applyReads(const std::vector<std::uint8_t>& data);
    // A check of an applied read failed: the program sends nothing more of the script but
    // its last instruction (jumpToLastInstruction) once the packets in flight are
    // answered.
    bool lateCheckFailed() const { return m_lateCheckFailed; }
    // Drops every read still to be completed and runs the script's last instruction, as a
    // failed check does in plain mode.
    void jumpToLastInstruction();
    // The last read sent is the poll of "waitwr", whose value decides what comes next: it
    // is taken from the unit's reply (takeSyncValue) once every packet is answered.
    bool syncPending() const { return m_syncPending; }
    std::optional<std::uint8_t> takeSyncValue() { return std::exchange(m_syncValue, {}); }
    // The next instruction can write the chip while checks still wait for their data: it
    // runs (resume) once every packet is answered and no check has failed.
    bool waitingForChecks() const { return m_waitingForChecks; }
    void resume();

private:
    void RunScriptStep(bool firstStep);
    void execute(const Instruction& instruction);
    void advance() { ++m_state.InstructionIndex; }
    // The status line: the FLASH or EEPROM progress, or the configuration byte, of the
    // byte that the instruction works on.
    void showPlace(const Instruction& instruction);
    void loopHead(std::int32_t lastAddress);
    void movlwAddress(const Instruction& instruction, std::int32_t field);
    template <typename Operand>
    bool codeThenOperand(const Instruction& instruction, std::int32_t code, const Operand& operand);
    void writeFlashWord(const Instruction& instruction);
    void writeConfigByte(const Instruction& instruction);
    void waitForWrite();
    bool codeThenRead(const Instruction& instruction);
    void readByte(const Instruction& instruction);
    // What a check compares the byte read with, and how it reports a mismatch.
    struct Expectation {
        std::int32_t expected = 0;
        std::int32_t address = 0;
        std::int32_t mask = 0xFF;
        bool blank = false;            // a blank check's message
        bool counts = false;           // a match steps CurrentAddress on
        bool protectedAddress = false; // the image code-protects the address
    };
    void check(const Instruction& instruction);
    void readAndCheck(const Instruction& instruction);
    Expectation expectationFor(const Instruction& instruction) const;
    void judge(const Expectation& expect);
    void jumpPast(Op closing);
    void fail(const std::string& message);
    // Fast mode's deferred reads.
    struct Deferred {
        enum class Kind : std::uint8_t {
            Flash,
            Eeprom,
            Config,
            DeviceId,
            Temp,
            Check,
            TempCheck,
            Sync
        };
        Kind kind = Kind::Temp;
        std::int32_t index = 0; // the address, the configuration byte, the ID's half
        Expectation expect;
    };
    void defer(const Instruction& instruction);
    void deferCheck(Deferred::Kind kind, const Instruction& instruction);
    void complete(const Deferred& read, std::uint8_t value);
    void runTempChecks();
    void lateJudge(const Expectation& expect);
    void clearDeferred();

    std::uint8_t flashAt(std::int32_t address) const;
    std::uint8_t eepromAt(std::int32_t address) const;

    ExecutionState m_state;
    // The operation of the script under way, for a jump back into it after its end.
    OperationKind m_kind = OperationKind::Program;
    ProgrammerLink m_link;
    ProgramBuffer& m_buffer;
    const SelectedModelValues& m_model;
    BytePort& m_port;
    EngineHost& m_host;
    bool m_halted = false;
    bool m_atLoopEnd = false;
    // Fast mode: the reads to complete, oldest first from m_deferredNext.
    std::vector<Deferred> m_deferred;
    std::size_t m_deferredNext = 0;
    std::size_t m_checksDeferred = 0;
    bool m_lateCheckFailed = false;
    bool m_syncPending = false;
    std::optional<std::uint8_t> m_syncValue;
    bool m_waitingForChecks = false;
    bool m_verifyAfterProgram = true;
    bool m_protectionInPlace = true;
};

} // namespace tessaline
