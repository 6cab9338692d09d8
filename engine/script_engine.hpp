#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/selected_model.hpp"
#include "engine/instruction.hpp"
#include "engine/programmer_link.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline {

class BytePort;
class EngineHost;

// The state of the operation in progress, one set for the whole program.
struct ExecutionState {
    Script RunningScript;
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
    // "program", "erase", "read", "blank" or "verify" while an operation runs.
    std::string RunningOperation;
};

// Interprets a device script one step per reply byte of the programmer unit: each step
// executes one phase of the current instruction and sends at most one command.
class ScriptEngine {
public:
    ScriptEngine(ProgramBuffer& buffer, const SelectedModelValues& model, BytePort& port,
                 EngineHost& host);

    // Loads a script to run from its first instruction. The state's addresses are left to
    // the caller.
    void loadScript(const Script& script);

    // Executes one step. The operation start calls it with firstStep true; every reply
    // byte calls it once more, after ReceivedByte was set.
    void RunScriptStep(bool firstStep);

    // True once an instruction could not be executed; the engine then sends nothing more.
    bool halted() const { return m_halted; }

    ExecutionState state;
    ProgrammerLink link;

private:
    void execute(const Instruction& instruction, const std::string& word);
    void advance() { ++state.InstructionIndex; }
    void progress(const char* prefix);
    void configStatus(std::int32_t index);
    void loopHead(std::int32_t lastAddress);
    void movlwAddress(std::int32_t field);
    void writeFlashWord(const Instruction& instruction);
    void writeConfigByte(const Instruction& instruction);
    void waitForWrite();
    void readByte(const Instruction& instruction);
    void check(const Instruction& instruction);
    void fail(const std::string& message);

    std::uint8_t flashAt(std::int32_t address) const;
    std::uint8_t eepromAt(std::int32_t address) const;

    ProgramBuffer& m_buffer;
    const SelectedModelValues& m_model;
    BytePort& m_port;
    EngineHost& m_host;
    std::vector<Instruction> m_decoded;
    bool m_halted = false;
};

} // namespace tessaline
