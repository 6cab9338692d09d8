#include "engine/script_engine.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "engine/byte_port.hpp"
#include "engine/engine_host.hpp"

#include <algorithm>

namespace tessaline {

namespace {

// EECON1 bit 1 (WR) stays set while a write cycle runs.
constexpr std::int32_t kEecon1WriteBit = 0x02;

// The core instructions that "waitwr" has the chip execute, and its two command codes.
constexpr std::int32_t kCoreInstruction = 0x00;
constexpr std::int32_t kShiftOutTablat = 0x02;
constexpr std::int32_t kMovfEecon1W = 0x50A6;
constexpr std::int32_t kMovwfTablat = 0x6EF5;
constexpr std::int32_t kMovlw = 0x0E00;

bool isReadCompletionPhase(std::int32_t phase) {
    return phase == 2;
}

} // namespace

ScriptEngine::ScriptEngine(ProgramBuffer& buffer, const SelectedModelValues& model, BytePort& port,
                           EngineHost& host)
    : link(port, host), m_buffer(buffer), m_model(model), m_port(port), m_host(host) {}

void ScriptEngine::loadScript(const Script& script) {
    state.RunningScript = script;
    state.LastInstruction = static_cast<std::int32_t>(script.size());
    state.InstructionIndex = 1;
    m_decoded.clear();
    m_decoded.reserve(script.size());
    for (const std::string& word : script)
        m_decoded.push_back(decodeInstruction(word));
    m_halted = false;
}

std::uint8_t ScriptEngine::flashAt(std::int32_t address) const {
    return m_buffer.flashByteOrErased(address);
}

std::uint8_t ScriptEngine::eepromAt(std::int32_t address) const {
    if (address < 0 || address >= static_cast<std::int32_t>(m_buffer.Eeprom.size()))
        return 0xFF;
    return m_buffer.Eeprom[static_cast<std::size_t>(address)];
}

void ScriptEngine::RunScriptStep(bool firstStep) {
    // No reply byte may start a nested step while this one lets window events run.
    m_port.setReceiveThreshold(0);
    if (m_halted)
        return;
    if (state.InstructionIndex < 1 || state.InstructionIndex > state.LastInstruction) {
        // The script has ended. RunningOperation is emptied before the completion runs,
        // so an operation started from inside the completion keeps its own.
        const std::string operation = state.RunningOperation;
        state.RunningOperation.clear();
        if (operation == "program" || operation == "erase" || operation == "read" ||
            operation == "blank" || operation == "verify")
            m_host.completeOperation(operation);
        return;
    }
    if (firstStep)
        state.InstructionPhase = 0;
    const auto index = static_cast<std::size_t>(state.InstructionIndex - 1);
    execute(m_decoded[index], state.RunningScript[index]);
    if (!m_halted)
        m_port.setReceiveThreshold(1);
}

void ScriptEngine::fail(const std::string& message) {
    m_halted = true;
    m_host.scriptError(message);
}

void ScriptEngine::progress(const char* prefix) {
    m_host.setStatus(prefix + std::to_string(state.CurrentAddress + 1) + "/" +
                     std::to_string(state.LoopEndAddress + 1));
    m_host.letPendingEventsRun();
}

void ScriptEngine::configStatus(std::int32_t index) {
    m_host.setStatus(std::string(kConfigBytes[static_cast<std::size_t>(index)].statusText));
    m_host.letPendingEventsRun();
}

void ScriptEngine::execute(const Instruction& instruction, const std::string& word) {
    if (!instruction.fieldsParse() && instruction.op != Op::Unrecognized) {
        fail("The script word '" + word + "' has a hexadecimal field that does not parse.");
        return;
    }
    switch (instruction.op) {
    case Op::Begin:
        advance();
        link.SendBegin(m_model.VoltageSequence);
        break;
    case Op::End:
        advance();
        link.SendEnd();
        break;
    case Op::StartProg:
        advance();
        link.SendStartProg();
        break;
    case Op::SetProgTime:
        advance();
        link.SendProgTime(m_model.ProgTime);
        break;
    case Op::CalcFlash:
        state.FlashLastAddress = highestNonBlank(m_buffer.Flash);
        advance();
        link.SendNop();
        break;
    case Op::CalcEeprom:
        state.EepromLastAddress = highestNonBlank(m_buffer.Eeprom);
        advance();
        link.SendNop();
        break;
    case Op::SetFlashLoop:
        loopHead(state.FlashLastAddress);
        break;
    case Op::SetEepromLoop:
        loopHead(state.EepromLastAddress);
        break;
    case Op::Loop:
        state.InstructionIndex = state.LoopStartIndex;
        link.SendNop();
        break;
    case Op::MovlwUpper:
        link.SplitAddress(state.CurrentAddress);
        movlwAddress(link.AddressUpper);
        break;
    case Op::MovlwHigh:
        link.SplitAddress(state.CurrentAddress);
        movlwAddress(link.AddressHigh);
        break;
    case Op::MovlwLow:
        link.SplitAddress(state.CurrentAddress);
        movlwAddress(link.AddressLow);
        break;
    case Op::MovlwEeprom:
        if (state.InstructionPhase == 0) {
            progress("E:");
            link.SendCommandCode(kCoreInstruction);
            state.InstructionPhase = 1;
        } else if (state.InstructionPhase == 1) {
            link.SendDataWord(kMovlw + eepromAt(state.CurrentAddress));
            ++state.CurrentAddress;
            state.InstructionPhase = 0;
            advance();
        }
        break;
    case Op::WriteFlash:
        writeFlashWord(instruction);
        break;
    case Op::WriteConfig:
        writeConfigByte(instruction);
        break;
    case Op::WaitWr:
        waitForWrite();
        break;
    case Op::ReadFlash:
    case Op::ReadEeprom:
    case Op::ReadConfig:
    case Op::ReadTemp:
        readByte(instruction);
        break;
    case Op::CheckBlankFlash:
    case Op::CheckBlankEeprom:
    case Op::CheckBlankConfig:
    case Op::CheckFlash:
    case Op::CheckEeprom:
    case Op::CheckConfig:
        check(instruction);
        break;
    case Op::Raw:
        if (state.InstructionPhase == 0) {
            link.SendCommandCode(instruction.code);
            state.InstructionPhase = 1;
        } else if (state.InstructionPhase == 1) {
            link.SendDataWord(instruction.operand);
            state.InstructionPhase = 0;
            advance();
        }
        break;
    case Op::Wait:
        m_host.waitMilliseconds(std::max(instruction.waitMilliseconds, 0));
        advance();
        link.SendNop();
        break;
    case Op::Unrecognized:
        fail("Unrecognized symbolic instruction '" + word + "'.");
        break;
    }
}

void ScriptEngine::loopHead(std::int32_t lastAddress) {
    state.LoopStartIndex = state.InstructionIndex;
    state.LoopEndAddress = lastAddress;
    if (state.CurrentAddress <= state.LoopEndAddress) {
        advance();
    } else {
        state.CurrentAddress = 0;
        // Past the first "loop" after the head; a head without one ends the script.
        std::int32_t exit = state.LastInstruction + 1;
        for (std::int32_t i = state.InstructionIndex + 1; i <= state.LastInstruction; ++i) {
            if (m_decoded[static_cast<std::size_t>(i - 1)].op == Op::Loop) {
                exit = i + 1;
                break;
            }
        }
        state.InstructionIndex = exit;
    }
    link.SendNop();
}

void ScriptEngine::movlwAddress(std::int32_t field) {
    if (state.InstructionPhase == 0) {
        link.SendCommandCode(kCoreInstruction);
        state.InstructionPhase = 1;
    } else if (state.InstructionPhase == 1) {
        link.SendDataWord(kMovlw + field);
        state.InstructionPhase = 0;
        advance();
    }
}

void ScriptEngine::writeFlashWord(const Instruction& instruction) {
    if (state.InstructionPhase == 0) {
        progress("F:");
        link.SendCommandCode(instruction.code);
        state.InstructionPhase = 1;
    } else if (state.InstructionPhase == 1) {
        // Low byte at the even address, high byte at the next one; past the end of an
        // odd-sized FLASH the high byte is the erased value.
        const std::int32_t low = flashAt(state.CurrentAddress);
        const std::int32_t high = flashAt(state.CurrentAddress + 1);
        link.SendDataWord(low + 256 * high);
        state.InstructionPhase = 0;
        state.CurrentAddress += 2;
        advance();
    }
}

void ScriptEngine::writeConfigByte(const Instruction& instruction) {
    if (state.InstructionPhase == 0) {
        configStatus(instruction.configIndex);
        link.SendCommandCode(instruction.code);
        state.InstructionPhase = 1;
    } else if (state.InstructionPhase == 1) {
        // The chip takes the low half at an even address and the high half at an odd
        // one, so the byte goes in both.
        const std::int32_t value =
            m_buffer.Config[static_cast<std::size_t>(instruction.configIndex)] & 0xFF;
        link.SendDataWord(value * 257);
        state.InstructionPhase = 0;
        advance();
    }
}

void ScriptEngine::waitForWrite() {
    switch (state.InstructionPhase) {
    case 0:
        link.SendCommandCode(kCoreInstruction);
        break;
    case 1:
        link.SendDataWord(kMovfEecon1W);
        break;
    case 2:
        link.SendCommandCode(kCoreInstruction);
        break;
    case 3:
        link.SendDataWord(kMovwfTablat);
        break;
    case 4:
        link.SendCommandCode(kShiftOutTablat);
        break;
    case 5:
        link.SendReadByte();
        break;
    case 6:
        // The data byte of the read; the second reply byte of the read runs the next step,
        // which polls again while the write bit is still set.
        state.TempByte = state.ReceivedByte;
        state.InstructionPhase = 0;
        if ((state.TempByte & kEecon1WriteBit) == 0)
            advance();
        return;
    default:
        return;
    }
    ++state.InstructionPhase;
}

void ScriptEngine::readByte(const Instruction& instruction) {
    if (state.InstructionPhase == 0) {
        switch (instruction.op) {
        case Op::ReadFlash:
            progress("F:");
            break;
        case Op::ReadEeprom:
            progress("E:");
            break;
        case Op::ReadConfig:
            configStatus(instruction.configIndex);
            break;
        default:
            break;
        }
        link.SendCommandCode(instruction.code);
        state.InstructionPhase = 1;
    } else if (state.InstructionPhase == 1) {
        link.SendReadByte();
        state.InstructionPhase = 2;
    } else if (isReadCompletionPhase(state.InstructionPhase)) {
        const auto value = static_cast<std::uint8_t>(state.ReceivedByte);
        const std::int32_t address = state.CurrentAddress;
        switch (instruction.op) {
        case Op::ReadFlash:
            if (address >= 0 && address < static_cast<std::int32_t>(m_buffer.Flash.size()))
                m_buffer.Flash[static_cast<std::size_t>(address)] = value;
            ++state.CurrentAddress;
            break;
        case Op::ReadEeprom:
            if (address >= 0 && address < static_cast<std::int32_t>(m_buffer.Eeprom.size()))
                m_buffer.Eeprom[static_cast<std::size_t>(address)] = value;
            ++state.CurrentAddress;
            break;
        case Op::ReadConfig:
            m_buffer.Config[static_cast<std::size_t>(instruction.configIndex)] = value;
            break;
        default:
            state.TempByte = value;
            break;
        }
        state.InstructionPhase = 0;
        advance();
    }
}

void ScriptEngine::check(const Instruction& instruction) {
    std::int32_t expected = 0;
    std::int32_t address = 0;
    bool blank = false;
    bool counts = false;
    switch (instruction.op) {
    case Op::CheckBlankFlash:
        progress("F:");
        expected = 0xFF;
        address = state.CurrentAddress;
        blank = counts = true;
        break;
    case Op::CheckBlankEeprom:
        progress("E:");
        expected = 0xFF;
        address = kEepromBaseAddress + state.CurrentAddress;
        blank = counts = true;
        break;
    case Op::CheckBlankConfig:
        configStatus(instruction.configIndex);
        expected = m_model.ConfigErased[static_cast<std::size_t>(instruction.configIndex)];
        address = kConfigBaseAddress + instruction.configIndex;
        blank = true;
        break;
    case Op::CheckFlash:
        progress("F:");
        expected = flashAt(state.CurrentAddress);
        address = state.CurrentAddress;
        counts = true;
        break;
    case Op::CheckEeprom:
        progress("E:");
        expected = eepromAt(state.CurrentAddress);
        address = kEepromBaseAddress + state.CurrentAddress;
        counts = true;
        break;
    default:
        configStatus(instruction.configIndex);
        expected = m_buffer.Config[static_cast<std::size_t>(instruction.configIndex)];
        address = kConfigBaseAddress + instruction.configIndex;
        break;
    }
    if (state.TempByte == expected) {
        if (counts)
            ++state.CurrentAddress;
        advance();
    } else {
        state.CheckFailed = true;
        state.InstructionIndex = state.LastInstruction;
        std::string message =
            (blank ? "Chip is not blank at address " : "Verify failed at address ") +
            Hex6(address) + "h!\r\nThe value read from that address is " + Hex2(state.TempByte) +
            "h.";
        if (!blank)
            message += "\r\nThe value expected is " + Hex2(expected) + "h.";
        m_host.showMessage(message);
    }
    link.SendNop();
}

} // namespace tessaline
