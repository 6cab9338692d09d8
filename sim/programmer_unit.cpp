// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/programmer_unit.hpp"

#include "protocol/unit_protocol.hpp"

#include <iterator>

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
    if (m_reference)
        return receiveAsReference(byte);
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

void ProgrammerUnit::makeReference(const UnitSupplies& supplies) {
    m_reference = true;
    m_supplies = supplies;
}

// The unit's millisecond count follows the simulation's clock. A refusal the program
// caused is its violation; what follows a byte lost or garbled on purpose is not.
std::vector<std::uint8_t> ProgrammerUnit::receiveAsReference(std::uint8_t byte) {
    const auto nowMs = static_cast<std::uint32_t>(m_clock.nowMicros() / 1000);
    ++m_bytes;
    if (m_bytes == dropByte || m_bytes == garbleByte) {
        m_lineFault = true;
        if (m_bytes == garbleByte)
            m_logic.receiveError(nowMs);
        return {};
    }
    m_logic.setLowVoltage(m_supplies.lowVoltage);
    const bool wasSilent = m_logic.silent();
    unit::Step step;
    if (!m_logic.receive(byte, nowMs, step)) {
        if (!wasSilent && m_logic.silent() && !m_lineFault)
            violation("the reference unit refused at byte " + std::to_string(byte) +
                      " and falls silent until 103");
        return {};
    }
    std::vector<std::uint8_t> reply = run(step);
    if (!reply.empty() && ++m_commands == strayAfter)
        reply.push_back(kStrayByte);
    return reply;
}

// What the unit's ADC reads, in units of 10 mV, scaled by the reference the unit believes
// in against the nominal one the simulation measures with.
std::uint16_t ProgrammerUnit::measured(int millivolts) const {
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(millivolts) *
                                      m_logic.referenceMillivolts() /
                                      (10 * kNominalReferenceMillivolts));
}

std::uint8_t ProgrammerUnit::supplyCheck() const {
    const UnitSupplies& s = m_supplies;
    return unit::powerUpSupplyStatus(
        measured(s.mclrFromFiveVolts ? s.vddMillivolts : s.vppMillivolts),
        measured(s.targetPowered ? s.vddMillivolts : 0), measured(s.vddMillivolts), s.lowVoltage);
}

std::vector<std::uint8_t> ProgrammerUnit::run(const unit::Step& step) {
    const bool chip = !emptySocket;
    std::uint8_t data = 0;
    switch (step.action) {
    case unit::Action::None:
    case unit::Action::Calibrate:
        break;
    case unit::Action::PowerUp:
        if (!m_logic.powerUp(supplyCheck()))
            return {};
        if (chip)
            m_chip.powerUp(true);
        break;
    case unit::Action::PowerDown:
        // A cut core instruction gets its NOP operand and time to finish what its 4th
        // clock started; any other code is dropped as MCLR falls.
        if (chip && step.completeFrame) {
            m_chip.transfer(0x0, 0x0000);
            m_clock.sleepMicros(kCutCoreInstructionHoldMs * 1000);
        } else if (chip && m_commandCode >= 0) {
            m_chip.commandCut(m_commandCode);
        }
        m_commandCode = -1;
        if (chip)
            m_chip.powerDown();
        break;
    case unit::Action::CommandCode:
        m_commandCode = step.value;
        break;
    case unit::Action::Operand:
        if (chip)
            m_chip.transfer(m_commandCode, step.value);
        m_commandCode = -1;
        break;
    case unit::Action::Pulse: {
        const std::int64_t micros = static_cast<std::int64_t>(step.value) * 1000;
        m_clock.sleepMicros(micros);
        if (chip)
            m_chip.programmingPulse(micros);
        break;
    }
    case unit::Action::Read:
        data = chip ? m_chip.readTransfer(m_commandCode) : 0x00;
        m_commandCode = -1;
        break;
    case unit::Action::Report: {
        std::uint8_t report[kUnitReportSize];
        const UnitSupplies& s = m_supplies;
        m_logic.report(report, measured(s.mclrFromFiveVolts ? s.vddMillivolts : s.vppMillivolts),
                       measured(s.targetPowered ? s.vddMillivolts : 0));
        return {std::begin(report), std::end(report)};
    }
    }
    std::vector<std::uint8_t> reply;
    if (step.command == kCmdReadByte)
        reply.push_back(data);
    reply.push_back(m_logic.takeReply());
    return reply;
}

} // namespace tessaline::sim
