// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/programmer_unit.hpp"

#include "protocol/unit_protocol.hpp"

namespace tessaline::sim {

namespace {

// The reply byte's value: 00h, all is well (the simulated unit sets no status bit).
constexpr std::uint8_t kAcknowledge = 0x00;

constexpr std::uint8_t kStrayByte = 0xA5;

} // namespace

ProgrammerUnit::ProgrammerUnit(Pic18Chip& chip, SimClock& clock) : m_chip(chip), m_clock(clock) {}

void ProgrammerUnit::programEnded(bool poweredAllowed) {
    if (m_chip.powered() && !poweredAllowed)
        violation("left powered: voltages still applied when the program ended");
}

std::vector<std::string> ProgrammerUnit::allViolations() const {
    std::vector<std::string> all = m_violations;
    for (const std::string& text : m_chip.violations())
        all.push_back("chip: " + text);
    return all;
}

std::vector<std::uint8_t> ProgrammerUnit::receive(std::uint8_t byte) {
    m_lastByte = byte;
    if (muteAfter >= 0 && m_commands >= muteAfter)
        return {};
    // The unit's millisecond count, as its firmware keeps one: a command whose argument
    // bytes stopped coming (its sender died) is dropped by the framer, so that the next
    // program's first command is read as a command.
    const auto nowMs = static_cast<std::uint32_t>(m_clock.nowMicros() / 1000);
    switch (m_framer.take(byte, nowMs)) {
    case CommandFramer::kNotACommand:
        violation("byte " + std::to_string(byte) + " is not a command of the unit");
        return {};
    case CommandFramer::kMoreToCome:
        return {};
    case CommandFramer::kComplete:
        break;
    }
    std::vector<std::uint8_t> reply = execute();
    ++m_commands;
    if (m_commands == strayAfter)
        reply.push_back(kStrayByte);
    return reply;
}

std::vector<std::uint8_t> ProgrammerUnit::execute() {
    const std::uint8_t command = m_framer.command();
    if (emptySocket) {
        if (command == kCmdProgTime)
            m_progTimeMs = m_framer.argument(0);
        return command == kCmdReadByte ? std::vector<std::uint8_t>{0x00, kAcknowledge}
                                       : std::vector<std::uint8_t>{kAcknowledge};
    }
    switch (command) {
    case kCmdNop:
        break;
    case kCmdBeginVddFirst:
    case kCmdBeginVppFirst:
        m_chip.powerUp(command == kCmdBeginVddFirst);
        break;
    case kCmdEnd:
        // MCLR low resets the chip's programming logic: a command code that waits for its
        // operand is dropped, and only what its 4 clocks started can be cut.
        if (m_commandCode >= 0)
            m_chip.commandCut(m_commandCode);
        m_commandCode = -1;
        m_chip.powerDown();
        break;
    case kCmdCommandCode: {
        const std::uint8_t code = m_framer.argument(0);
        if (code > 0x0F)
            violation("command code " + std::to_string(code) + " has more than 4 bits");
        if (m_commandCode >= 0)
            violation("command code " + std::to_string(code) + " sent while code " +
                      std::to_string(m_commandCode) + " still waited for its operand");
        m_commandCode = code & 0x0F;
        break;
    }
    case kCmdDataWord:
        if (m_commandCode < 0) {
            violation("operand sent without a command code before it");
            break;
        }
        m_chip.transfer(m_commandCode, m_framer.operand());
        m_commandCode = -1;
        break;
    case kCmdStartProg: {
        if (m_commandCode >= 0)
            violation("programming pulse sent while command code " + std::to_string(m_commandCode) +
                      " waited for its operand");
        m_commandCode = -1;
        // The NOP's fourth clock is held high for the programming time.
        const std::int64_t micros = static_cast<std::int64_t>(m_progTimeMs) * 1000;
        m_clock.sleepMicros(micros);
        m_chip.programmingPulse(micros);
        break;
    }
    case kCmdReadByte: {
        if (m_commandCode < 0) {
            violation("read sent without a command code before it");
            return {0x00, kAcknowledge};
        }
        const std::uint8_t data = m_chip.readTransfer(m_commandCode);
        m_commandCode = -1;
        return {data, kAcknowledge};
    }
    case kCmdProgTime:
        if (m_framer.argument(0) == 0)
            violation("programming time of 0 ms");
        m_progTimeMs = m_framer.argument(0);
        break;
    default:
        break;
    }
    return {kAcknowledge};
}

} // namespace tessaline::sim
