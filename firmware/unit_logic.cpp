// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/unit_logic.hpp"

#include "firmware/fault_builds.hpp"

namespace tessaline {
namespace unit {

namespace {

bool within(uint16_t value, uint16_t low, uint16_t high) {
    return value >= low && value <= high;
}

} // namespace

// The ADC gives counts = V × 1024 / reference at its input; the divider scales that up.
uint16_t senseCentivolts(uint16_t counts, uint16_t referenceMillivolts, Sense input) {
    const uint32_t top = input == Sense::Vpp ? kVppDividerTop : kVddDividerTop;
    const uint32_t bottom = input == Sense::Vpp ? kVppDividerBottom : kVddDividerBottom;
    const uint32_t divisor = 1024u * 10u * bottom;
    const uint32_t scaled = static_cast<uint32_t>(counts) * referenceMillivolts * (top + bottom);
    return static_cast<uint16_t>((scaled + divisor / 2) / divisor);
}

uint8_t supplyStatus(uint16_t vppCentivolts, uint16_t vddCentivolts, bool lowVoltage,
                     bool vddSwitchedOn) {
    uint8_t status = 0;
    const bool fiveVolts =
        within(vppCentivolts, kMclrLowVoltageMinCentivolts, kMclrLowVoltageMaxCentivolts);
    if (lowVoltage && !fiveVolts) {
        // More than 5.5 V for low-voltage entry: J1 feeds the boost module.
        status |= vppCentivolts > kMclrLowVoltageMaxCentivolts ? kStatusJumpersDisagree
                                                               : kStatusVppOutOfRange;
    } else if (!lowVoltage && !within(vppCentivolts, kVppMinCentivolts, kVppMaxCentivolts)) {
        // About 5 V for high-voltage entry: J1 feeds +5 V.
        status |= fiveVolts ? kStatusJumpersDisagree : kStatusVppOutOfRange;
    }
    const bool present = vddSwitchedOn || vddCentivolts >= kVddAbsentCentivolts;
    if (!vddSwitchedOn && present)
        status |= kStatusSelfPowered;
    if (present && !within(vddCentivolts, kVddMinCentivolts, kVddMaxCentivolts))
        status |= kStatusVddOutOfRange;
    return status;
}

uint8_t powerUpSupplyStatus(uint16_t vppCentivolts, uint16_t vddFoundCentivolts,
                            uint16_t vddSwitchedOnCentivolts, bool lowVoltage) {
    const uint8_t found = supplyStatus(vppCentivolts, vddFoundCentivolts, lowVoltage, false);
    if ((found & kStatusFailures) != 0)
        return found;
    return static_cast<uint8_t>(
        found | supplyStatus(vppCentivolts, vddSwitchedOnCentivolts, lowVoltage, true));
}

UnitLogic::UnitLogic()
    : m_framer(CommandSet::Reference, faulty(Fault::NoPartialTimeout) ? 0 : kUnitPartialCommandMs) {
}

void UnitLogic::fallSilent(uint8_t bits) {
    m_status |= bits;
    m_silent = true;
    m_framer.drop();
    m_probeCount = 0;
}

// A silent unit drops every byte but a 103 after a quiet line; that 103 is run as ever.
bool UnitLogic::receive(uint8_t byte, uint32_t nowMs, Step& step) {
    const uint32_t quietMs = nowMs - m_lastLineMs;
    m_lastLineMs = nowMs;
    tick(nowMs);
    if (m_silent) {
        if (byte != kCmdEnd || quietMs <= kUnitSilenceQuietMs)
            return false;
        m_silent = false;
    }
    switch (m_framer.take(byte, nowMs)) {
    case CommandFramer::kNotACommand:
        fallSilent(kStatusReceiveError);
        return false;
    case CommandFramer::kMoreToCome:
        return false;
    case CommandFramer::kComplete:
        break;
    }
    return complete(step);
}

void UnitLogic::tick(uint32_t nowMs) {
    if (!m_silent && m_framer.expire(nowMs))
        fallSilent(kStatusReceiveError);
}

void UnitLogic::receiveError(uint32_t nowMs) {
    m_lastLineMs = nowMs;
    if (faulty(Fault::ArgumentsAsCommands)) {
        m_framer.drop();
        m_status |= kStatusReceiveError;
        return;
    }
    fallSilent(kStatusReceiveError);
}

bool UnitLogic::powerUp(uint8_t supplies) {
    m_supplyStatus = supplies;
    if ((supplies & kStatusFailures) != 0) {
        fallSilent(kStatusRefused);
        return false;
    }
    m_powered = true;
    m_pending = Pending::None;
    return true;
}

uint8_t UnitLogic::takeStatus() {
    m_signature = 0;
    return takeReply();
}

uint8_t UnitLogic::takeReply() {
    auto reply = static_cast<uint8_t>(m_status | m_supplyStatus);
    if (m_signature != 0) {
        reply = m_signature;
        m_signature = 0;
    }
    m_status = 0;
    if (m_supplyEnds) {
        m_supplyStatus = 0;
        m_supplyEnds = false;
    }
    return reply;
}

void UnitLogic::report(uint8_t (&bytes)[kUnitReportSize], uint16_t vppCentivolts,
                       uint16_t vddCentivolts) {
    bytes[kReportVersion] = kReferenceFirmwareVersion;
    bytes[kReportCalibrationLow] = static_cast<uint8_t>(m_calibration);
    bytes[kReportCalibrationHigh] = static_cast<uint8_t>(m_calibration >> 8);
    bytes[kReportVppLow] = static_cast<uint8_t>(vppCentivolts);
    bytes[kReportVppHigh] = static_cast<uint8_t>(vppCentivolts >> 8);
    bytes[kReportVddLow] = static_cast<uint8_t>(vddCentivolts);
    bytes[kReportVddHigh] = static_cast<uint8_t>(vddCentivolts >> 8);
    bytes[kReportJumpers] = m_lowVoltage ? kJumperLowVoltage : 0;
    bytes[kReportStatus] = takeReply();
}

void UnitLogic::setCalibration(uint16_t millivolts) {
    m_calibration =
        within(millivolts, kCalibrationMinMillivolts, kCalibrationMaxMillivolts) ? millivolts : 0;
}

// Three 111 commands in a row while powered down, with distinct times in the probe's
// range: the third is answered with the signature, and the next triple starts afresh.
void UnitLogic::probe(uint8_t milliseconds) {
    if (m_powered || !within(milliseconds, kProbeMinMs, kProbeMaxMs)) {
        m_probeCount = 0;
        return;
    }
    // A repeated time starts the triple afresh; so does a count that is not below three,
    // which only a fault could leave, rather than a write past the triple.
    for (uint8_t i = 0; i < m_probeCount && i < 3; ++i)
        if (m_probe[i] == milliseconds)
            m_probeCount = 0;
    if (m_probeCount >= 3)
        m_probeCount = 0;
    m_probe[m_probeCount++] = milliseconds;
    if (m_probeCount == 3) {
        m_signature = unitProbeSignature(m_probe[0], m_probe[1], m_probe[2]);
        m_probeCount = 0;
    }
}

// A command that does not fit the unit's state or the order of the protocol is refused:
// nothing reaches the pins, and the unit falls silent. So the unit's idea of the 20-bit
// frame always equals the chip's: an operand after a read command would drive PGD against
// the chip's bits, and a read after a write command would end a table write with operand
// 00xxh.
bool UnitLogic::complete(Step& step) {
    return dispatch(m_framer.command(), m_framer.argument(0), m_framer.argument(1), step);
}

bool UnitLogic::take(uint8_t command, uint8_t low, uint8_t high, Step& step) {
    if (m_silent)
        return false;
    // The reference unit's own commands are for plain mode only.
    if (!isUnitCommand(command)) {
        fallSilent(kStatusReceiveError);
        return false;
    }
    return dispatch(command, low, high, step);
}

void UnitLogic::end(Step& step) {
    m_silent = false;
    m_framer.drop();
    dispatch(kCmdEnd, 0, 0, step);
}

bool UnitLogic::dispatch(uint8_t command, uint8_t low, uint8_t high, Step& step) {
    step = Step();
    step.command = command;
    const uint8_t argument = low;
    const auto operand = static_cast<uint16_t>(low | high << 8);
    const bool ready = m_powered || faulty(Fault::ClockUnpowered);
    if (step.command != kCmdProgTime)
        m_probeCount = 0;
    bool ok = true;
    switch (step.command) {
    case kCmdBeginVddFirst:
        // A power-up on top of one: the chip must never see one.
        ok = !m_powered;
        step.action = Action::PowerUp;
        break;
    case kCmdBeginVppFirst:
        // This unit has no way to hold VDD at ground while VPP rises.
        fallSilent(kStatusRefused | kStatusNoVppFirst);
        return false;
    case kCmdEnd:
        step.action = Action::PowerDown;
        step.completeFrame = m_pending == Pending::Write && m_pendingCode == 0;
        m_powered = false;
        m_pending = Pending::None;
        m_supplyEnds = true;
        break;
    case kCmdCommandCode:
        // A code beyond 4 bits is neither kind.
        ok = ready && m_pending == Pending::None && (isWriteCode(argument) || isReadCode(argument));
        step.action = Action::CommandCode;
        step.value = argument;
        if (ok) {
            m_pending = isReadCode(argument) ? Pending::Read : Pending::Write;
            m_pendingCode = argument;
        }
        break;
    case kCmdDataWord:
        ok = ready && m_pending == Pending::Write;
        step.action = Action::Operand;
        step.value = operand;
        if (ok)
            m_pending = Pending::None;
        break;
    case kCmdStartProg:
        ok = m_powered && m_pending == Pending::None;
        step.action = Action::Pulse;
        step.value = m_progTimeMs;
        break;
    case kCmdReadByte:
        ok = m_powered && m_pending == Pending::Read;
        step.action = Action::Read;
        if (ok)
            m_pending = Pending::None;
        break;
    case kCmdProgTime:
        ok = argument != 0;
        if (ok) {
            m_progTimeMs = argument;
            probe(argument);
        }
        break;
    case kCmdUnitReport:
        ok = !m_powered;
        step.action = Action::Report;
        break;
    case kCmdCalibrate:
        step.value = operand;
        ok = !m_powered && within(step.value, kCalibrationMinMillivolts, kCalibrationMaxMillivolts);
        step.action = Action::Calibrate;
        if (ok)
            m_calibration = step.value;
        break;
    case kCmdEnterFast:
        // Fast mode starts only from a unit at rest.
        ok = !m_powered;
        step.action = Action::EnterFast;
        step.value = argument;
        break;
    default:
        break;
    }
    if (!ok) {
        fallSilent(kStatusRefused);
        return false;
    }
    return true;
}

} // namespace unit
} // namespace tessaline
