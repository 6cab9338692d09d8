// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/selected_model.hpp"
#include "engine/batch_link.hpp"
#include "engine/byte_trace.hpp"
#include "engine/engine_host.hpp"
#include "engine/operation_kind.hpp"
#include "engine/script_engine.hpp"

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <random>
#include <string>
#include <vector>

// An operation's life, one stage at a time:
//
//   Idle > Starting > [PowerDown] > [Identify] > Main > [ReadBack] > EndPending > Idle
//                          |                                          ^  the scripts have
//                          +-------------------> Unit ----------------+  ended; the grace
//                                                                        period for stray
//      from PowerDown, Identify, Main, ReadBack and Unit: a stop or a    bytes runs
//      stray byte at a loop's end; a script error or the command bound
//      at once; with a reference unit, a failing status or a silence
//                                        |
//                                        v
//                                [CompletingFrame] > Stopping > Idle
//                                                    the end command is out; its reply
//                                                    (or the reply time-out) ends it
//
//   [PowerDown]        only when the unit's state is unknown (a port just opened, an end
//                      whose reply never came), and always before the unit's own
//                      operations: the end command alone, and its reply.
//   [Identify]         when the model names its device ID.
//   [ReadBack]         Program All reads back what it wrote.
//   Unit               the unit's own operations instead of the scripts: the probe, the
//                      report, the calibration; one command a reply, the unit powered
//                      down throughout, so a stop lands at the next reply.
//   [CompletingFrame]  a core instruction's 4-bit code went out alone: its NOP operand
//                      first, then 20 ms for what its 4th clock may have started.
//
//   A silent unit or a failed port ends the operation from any stage through Aborting,
//   where the end command goes out with nothing awaited; the unit's state is then
//   unknown. Every end is reported through Reporting, where the first check failure,
//   held since the byte was judged, is shown unless the operation ends for stray bytes
//   or a unit's refusal (the byte judged may not be the chip's). The operation reads as
//   running in every stage but Idle.
//
// With a reference unit (the unit type "reference"; an "original" unit's reply values are
// never looked at):
//
//   a status reply (a command's last reply byte) with a bit of kStatusFailures, in any
//   stage but PowerDown, fails the operation at once (UnitRefused): after a quiet line,
//   the end command alone goes out to Stopping, whose reply adds its status bits.
//   PowerDown's reply carries what an earlier program left (a refusal, a receive error,
//   the supply bits of its power-up) and nothing of this operation: it fails nothing,
//   and the unit report shows it. Each power-up measures the supplies again.
//
//   a silent unit (it falls silent after a refusal or a receive error): the end command
//   alone goes out (the unit completes a waiting core instruction itself) to Stopping,
//   whose reply names the reason (UnitRefused), or none (UnitSilent); no reply: as above.
//
//   The probe (DetectUnit) looks at no status of its 111 commands: a silent unit, a byte
//   that no command asked for or a wrong signature make its answer "original unit". The
//   report that follows, and the calibration's reply, are statuses as any other.
//
// Fast mode (a reference unit's chip operations, with a fast rate set); its rules are the
// tests FastMode.* against the transfer-level reference unit:
//
//   [PowerDown] > Handshake > [Identify] > Main > [ReadBack] > Leaving > EndPending > Idle
//                     |  ENTER at 56000 baud, then the rate switched and the empty packet;
//                     |  a reply that is no fast mode's, none, or a garbled one: back to
//                     |  56000, 1.1 s quiet, and the operation runs as above from PowerDown
//                     |  (the port runs reply-paced until it is opened again)
//
//   The scripts run ahead of the unit: their commands fill packets (cut at a loop pass's
//   end), every reply they await comes at once as 00h while at most two packets are in
//   flight, and a read's data byte is applied from its packet's reply. The engine waits
//   for every packet's reply at waitwr's poll, before a write while a check is undecided,
//   and at a script's end. A failed check: the packets in flight are answered, nothing
//   more that was built goes out, and the script's last instruction runs.
//
//   a stop at a packet boundary: the packets in flight are answered, then the end command
//   and LEAVE in one packet; Stopped once its reply is in. The packets in flight keep
//   their reply time: a reply that does not come goes to Recovering as below.
//   Leaving: LEAVE's reply ends fast mode; the end is reported as in plain mode.
//   a reply garbled, lost, late (2 s + the packet's run time) or rejected, a refusing
//   status, a failed port: > Recovering: ABORT after 60 ms of quiet, its reply awaited
//   (100 ms beyond what is in flight), else 150 ms quiet; then 56000 baud and the end
//   command up to three times, 300 ms apart. LinkFailed (UnitRefused for a refusal,
//   UnitSilent when nothing answered after a silence); a unit that answered nothing gets
//   ABORT at its fast rate before the next operation.
//
// The stop latch (m_stopWith) holds a stop until a point where the chip is idle:
//
//   empty ---- requestStop, in Starting or a script ------------------> Stopped
//   empty or Stopped ---- a byte that no command asked for, in a script -> StrayBytes
//
//   where it lands                   Stopped                     StrayBytes
//   Starting, the unit idle          ends at once, nothing sent  -
//   Starting, unit state unknown     at the PowerDown's end      -
//   a loop's end (its NOP answered)  > Stopping                  > Stopping
//   a script's end, another next     > EndPending                > EndPending
//   the last script's end            dropped: the script's end   > EndPending
//   a reply in Unit                  > EndPending                -
//
//   An Identify operation drops a stop, but in Starting with the unit idle, and reports
//   the ID it read. The latch empties when an operation starts, when a stop goes to the
//   unit, and at the end.

namespace tessaline {

class BytePort;

// The grace period that both front ends give stray bytes after an operation's last reply:
// a byte that the unit sends right after its reply arrives within a few bytes' time at the
// slowest baud rate (8.3 ms a byte at 1200 baud) plus a USB adapter's latency timer (16 ms
// by default), with room to spare, and nobody waits for a tenth of a second.
constexpr int kStrayByteGraceMs = 100;

// What an operation needs from the front end that runs it.
class OperationHost {
public:
    virtual ~OperationHost();

    // Locks the commands that could start a second operation or change the buffer.
    virtual void disable() = 0;
    // Redraws everything shown from the buffer.
    virtual void updatedisplay() = 0;
    virtual void letPendingEventsRun() = 0;
    // The operation is about to send its first byte.
    virtual void operationBegins(OperationKind kind) = 0;
    // A FLASH or EEPROM byte: `done` of `total` (the first byte reports 1).
    virtual void showProgress(Memory memory, std::int32_t done, std::int32_t total) = 0;
    // A configuration byte, CONFIG1L .. CONFIG7H as 0 .. 13.
    virtual void showConfigByte(std::int32_t index) = 0;
    // Program All's read-back of what it wrote begins, or ends (the configuration bytes
    // are written between two read-backs).
    virtual void readBackBegins() {}
    virtual void readBackEnds() {}
    // The first byte that a check of the operation found other than it should be, just
    // before the end is reported; returns when the user has read it. Not called when the
    // operation ends for stray bytes.
    virtual void checkFailed(const CheckFailure& failure) = 0;
    virtual void waitMilliseconds(int milliseconds) = 0;
    // Starts (or restarts) the wait for the unit's next reply; replyTimedOut is due when
    // it runs out. stopReplyTimer ends the wait.
    virtual void startReplyTimer(int milliseconds) = 0;
    virtual void stopReplyTimer() = 0;
    // A reference unit's operation runs in fast mode at `fastBaud`, or (0) in standard
    // mode, reply-paced; told once per operation, before its first script runs.
    virtual void linkModeChosen(std::int32_t fastBaud) { (void)fastBaud; }
    // The operation has ended, or was refused. Unless it was refused, the host unlocks
    // what disable locked, reports the end and, after a read, shows the buffer again.
    virtual void operationEnded(const OperationEnd& end) = 0;
};

// Starts the five operations, hands every reply byte to the engine and finishes them:
// the completion routines, and the ends that the unit forces (no reply, a failing port,
// bytes that no command asked for). When the model names its device ID, every operation
// first reads the chip's ID and goes on only when it matches.
class OperationControl : private EngineHost {
public:
    OperationControl(ProgramBuffer& buffer, const SelectedModelValues& model, BytePort& port,
                     OperationHost& host);

    // Checks the port and the script, then runs the first step; the unit's replies run
    // the rest. A refused start ends at once with Outcome::Refused.
    void StartOperation(OperationKind kind, bool portReady);
    void StartProgramAll(bool portReady) { StartOperation(OperationKind::Program, portReady); }
    void StartReadAll(bool portReady) { StartOperation(OperationKind::Read, portReady); }
    void StartEraseAll(bool portReady) { StartOperation(OperationKind::Erase, portReady); }
    void StartBlankCheck(bool portReady) { StartOperation(OperationKind::Blank, portReady); }
    void StartVerify(bool portReady) { StartOperation(OperationKind::Verify, portReady); }
    // Reads the device ID of the chip in the socket; the end carries it.
    void StartIdentify(bool portReady) { StartOperation(OperationKind::Identify, portReady); }
    // Asks the unit, powered down and in legal commands only, whether it is a reference
    // unit; the end carries the type found (and the unit takes it), and a reference
    // unit's report.
    void StartDetectUnit(bool portReady) { StartOperation(OperationKind::DetectUnit, portReady); }
    // The reference unit's report of itself, and the calibration of its ADC reference in
    // mV (kCalibrationMinMillivolts..kCalibrationMaxMillivolts): refused for a unit of
    // another type.
    void StartUnitReport(bool portReady) { StartOperation(OperationKind::UnitReport, portReady); }
    void StartCalibrate(bool portReady, std::uint16_t millivolts) {
        m_calibrationMillivolts = millivolts;
        StartOperation(OperationKind::Calibrate, portReady);
    }

    // The unit on the port: CommandSet::Original (the default), whose replies' values are
    // never looked at and which never gets a command outside 100 to 111, or
    // CommandSet::Reference, whose status bits the operations act on.
    void setUnitType(CommandSet type) { m_engine.setUnitType(type); }
    CommandSet unitType() const { return m_engine.unitType(); }
    // The rate of fast mode for a reference unit's chip operations (one of fastRateBaud's);
    // 0 (the default): standard mode, one command a reply. A port on which the unit did
    // not take fast mode runs in standard mode until it is opened again.
    void setFastBaud(std::int32_t baud) { m_fastBaud = baud; }
    std::int32_t fastBaud() const { return m_fastBaud; }
    // The operation under way runs in fast mode.
    bool fastMode() const { return m_fast; }

    // The port's receive event: every waiting byte runs one step, in arrival order. Bytes
    // that arrive while no operation runs are read and dropped; bytes beyond the replies
    // that the commands asked for end the operation.
    void MSComm1_OnComm();

    // Completion routines: the script has run to its end.
    void program2_routine() { finish(OperationKind::Program); }
    void read2_routine() { finish(OperationKind::Read); }
    void erase2_routine() { finish(OperationKind::Erase); }
    void blank2_routine() { finish(OperationKind::Blank); }
    void verify2_routine() { finish(OperationKind::Verify); }

    // The unit did not answer in time (or the grace period after an operation's last
    // reply has passed).
    void replyTimedOut();
    // The serial port failed (an adapter pulled out); ends the operation.
    void portFailed(const std::string& systemError);
    // Stops the operation at the end of the current pass of a loop (a block written, a
    // byte read) or between two of its scripts, where the chip is idle: the unit removes
    // the programming voltages and the end reads Outcome::Stopped. Steps outside loops
    // (an erase, the configuration bytes) run to their end first.
    void requestStop();

    // Every byte sent and received from now on goes to the trace as well; nullptr ends it.
    void setTrace(ByteTrace* trace) {
        m_trace = trace;
        m_engine.setTrace(trace);
    }
    // The models of the device file by their device IDs, to name the chip that a wrong
    // device ID belongs to.
    void setModelIdentities(const ModelIdentities* models) { m_models = models; }
    // Program All verifies what it wrote (on unless switched off).
    void setVerifyAfterProgram(bool on) { m_verifyAfterProgram = on; }
    bool verifyAfterProgram() const { return m_verifyAfterProgram; }
    // How long the end of an operation waits for stray bytes before it is reported;
    // 0 reports it at once.
    void setGracePeriodMs(int milliseconds) { m_graceMs = milliseconds; }

    bool running() const { return m_stage != Stage::Idle; }
    // The operation under way (or the last one), from the moment its start is accepted.
    OperationKind kind() const { return m_kind; }
    // The port was opened (again): nothing sent before is answered on it any more, and
    // the unit may be in any state (another program may have left it powered, or cut a
    // command short), so the next operation powers it down first.
    void portOpened();
    // The unit confirmed its last power-down and has had no command since.
    bool unitIdle() const { return m_unitIdle; }
    const ScriptEngine& engine() const { return m_engine; }
    int replyTimeoutMs() const;
    // The most commands an operation of the selected model may send.
    std::int64_t commandLimit() const;

private:
    enum class Stage {
        Idle,
        Starting,        // accepted; nothing sent yet
        PowerDown,       // the end command, for a unit whose state is unknown
        Identify,        // the device ID check
        Main,            // the operation's own script
        ReadBack,        // Program All reads back what it wrote
        Unit,            // the unit's own commands: the probe, the report, the calibration
        Handshake,       // ENTER and the first packet of fast mode
        Leaving,         // fast mode: LEAVE sent; its reply is due
        Recovering,      // fast mode: a reply lost, garbled, late or refusing; ABORT and
                         // the end command at 56000 baud
        CompletingFrame, // the NOP operand that completes a cut core instruction
        Stopping,        // the end command sent; its reply is due
        Aborting,        // the unit does not answer: the end command goes out unawaited
        EndPending,      // the scripts have ended; the end waits for the grace period
        Reporting,       // the end is decided; a held check failure is shown before it
    };

    // EngineHost, for the engine.
    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override;
    void showConfigByte(std::int32_t index) override;
    void letPendingEventsRun() override;
    void readBackBegins() override;
    void readBackEnds() override;
    void checkFailed(const CheckFailure& failure) override;
    void waitMilliseconds(int milliseconds) override;
    void commandSent() override;
    void completeOperation(OperationKind kind) override;
    void scriptError(const std::string& message) override;

    Stage firstScriptStage() const;
    std::optional<Stage> scriptAfter(Stage ended) const;
    bool readBackFollows(OperationKind kind) const;
    void waitForAQuietLine();
    bool runningScript() const;
    void startScript(Stage stage);
    void scriptReplies(const std::vector<std::uint8_t>& bytes);
    void scriptReply(std::uint8_t byte);
    void stoppingReplies(const std::vector<std::uint8_t>& bytes);
    bool reference() const { return unitType() == CommandSet::Reference; }
    bool withTheUnit() const { return runningScript() || m_stage == Stage::Unit; }
    bool failsOnStatus(std::uint8_t byte);
    void refusedByTheUnit(std::uint8_t status);
    void unitFellSilent();
    void startUnitCommands();
    void sendUnitCommand();
    void unitReplies(const std::vector<std::uint8_t>& bytes);
    void unitStray();
    void strayAfterTheEnd();
    void unitCommandAnswered();
    void probeAnswered();
    OperationEnd unitOperationEnd() const;
    void identified();
    void completionRoutine();
    void finish(OperationKind kind);
    void endOperation(const OperationEnd& end);
    void stopWithTheUnit(const OperationEnd& end);
    void sendAwaited(Stage stage);
    void endWithoutTheUnit(const OperationEnd& end);
    void report(const OperationEnd& end);
    void scriptEnded();

    // Fast mode.
    bool fastWanted() const;
    void startHandshake();
    void handshakeReplies(const std::vector<std::uint8_t>& bytes);
    void enterAnswered();
    void fastEstablished();
    void fastFallback();
    void linkMode(std::int32_t baud);
    void pump();
    void feedSynthetic();
    void sendPacket();
    void sendControlPacket(std::initializer_list<std::uint8_t> payload);
    void flushProgress();
    void fastBytes(const std::vector<std::uint8_t>& bytes);
    void packetAnswered();
    void leaveFastMode(const OperationEnd& end);
    void fastStopping();
    void leftFastMode();
    void dropFastMode();
    void recoverLink(Outcome outcome, std::uint8_t status = 0);
    void recoveryReplies(const std::vector<std::uint8_t>& bytes, std::size_t from);
    void abortAnswered(std::optional<std::uint8_t> status);
    void sendRecoveryEnd();
    void recoveryTimedOut();
    void abortLeftFastMode();
    void tracePacket(TracedPacket::Kind kind, const BatchLink::Packet* packet = nullptr);
    const DeviceScript& scriptFor(OperationKind kind) const;
    bool programScriptVerifies() const;

    ScriptEngine m_engine;
    ProgramBuffer& m_buffer;
    const SelectedModelValues& m_model;
    BytePort& m_port;
    OperationHost& m_host;
    const ModelIdentities* m_models = nullptr;
    OperationKind m_kind = OperationKind::Program;
    Stage m_stage = Stage::Idle;
    // A stop to make at the next point where the chip is idle, with the outcome it ends
    // in: the user's stop, or a byte that no command asked for.
    std::optional<Outcome> m_stopWith;
    // The first check failure, shown when the operation's end is reported.
    std::optional<CheckFailure> m_heldFailure;
    bool m_unitIdle = true;
    bool m_verifyAfterProgram = true;
    int m_graceMs = 0;
    // The end that Stopping or EndPending holds until it is reported.
    OperationEnd m_end;
    std::int64_t m_commands = 0;
    std::chrono::steady_clock::time_point m_portOpenedAt;

    // The unit's own commands of the operation (command byte and argument), how many of
    // them are answered, and the replies of the one under way.
    struct UnitCommand {
        std::uint8_t command = 0;
        std::int32_t argument = 0;
    };
    std::vector<UnitCommand> m_unitCommands;
    std::size_t m_unitAnswered = 0;
    std::vector<std::uint8_t> m_unitReplies;
    // The probe: the last reply to each 111, whether a byte that no command asked for
    // came, and whether both signatures were right.
    std::vector<std::uint8_t> m_probeReplies;
    bool m_probeDisturbed = false;
    bool m_probeFound = false;
    std::optional<UnitReport> m_report;
    // The reply to the end command of the PowerDown stage (a reference unit's).
    std::uint8_t m_powerDownStatus = 0;
    std::uint16_t m_calibrationMillivolts = 0;
    std::mt19937 m_random{std::random_device{}()};
    ByteTrace* m_trace = nullptr;

    // Fast mode: the rate asked for (0: off), whether the port's unit refused it, and the
    // packets of the operation under way.
    std::int32_t m_fastBaud = 0;
    bool m_fastRefused = false;
    bool m_fast = false;
    BatchLink m_batch;
    bool m_pumping = false;
    // The script has run to its end; it ends once every packet is answered.
    bool m_completionDue = false;
    // Handshake: PING is out (else ENTER).
    bool m_pingSent = false;
    // Stopping in fast mode: the end command and LEAVE are out.
    bool m_fastEndSent = false;
    // The FLASH or EEPROM progress of the commands not yet sent.
    struct Progress {
        Memory memory = Memory::Flash;
        std::int32_t done = 0;
        std::int32_t total = 0;
    };
    std::optional<Progress> m_progress;
    // Recovering: ABORT's reply awaited (else the end command's), how many end commands
    // went out, whether the unit answered anything, and whether silence started it.
    bool m_awaitingAbort = false;
    int m_recoveryEnds = 0;
    bool m_recoveryHeard = false;
    bool m_recoveryAfterSilence = false;
    // The rate of a fast mode that the unit may not have left (nothing answered its
    // recovery); 0: none.
    std::int32_t m_fastLeftAt = 0;
};

} // namespace tessaline
