// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/protocol_monitor.hpp"

#include "pinlevel/monitor_text.hpp"

#include "protocol/unit_protocol.hpp"

#include <algorithm>

namespace tessaline::pinlevel {

namespace {

constexpr std::uint64_t kCyclesPerMs = kMonitorCyclesPerMs;

} // namespace

ProtocolMonitor::ProtocolMonitor(const IcspPinDecoder& decoder, const UnitBoard& board)
    : m_decoder(decoder), m_board(board),
      m_fast(
          decoder, m_reference, [this](std::uint64_t cycle) { return supplies(cycle); },
          [this](std::uint64_t cycle, const std::string& text) { violation(cycle, text); }) {
    m_reference.setLowVoltage(board.supplies().lowVoltage);
}

void ProtocolMonitor::violation(std::uint64_t cycle, const std::string& text) {
    m_violations.push_back(text + " (cycle " + std::to_string(cycle) + ")");
}

void ProtocolMonitor::byteToUnit(std::uint64_t cycle, std::uint8_t byte) {
    arrive({cycle, byte});
}

void ProtocolMonitor::garbledToUnit(std::uint64_t cycle) {
    arrive({cycle, kGarbled});
}

// The unit takes a byte that comes while it still works on a command once it has
// answered: the program should not have sent it yet, unless a lost byte made the
// command it sent look like more than one.
void ProtocolMonitor::arrive(const Arrival& arrival) {
    if (m_repliesDue == 0 && m_waiting.empty() && inFast()) {
        const bool taken = m_fast.byteToUnit(arrival.cycle, arrival.byte);
        afterFast(arrival.cycle);
        if (taken)
            return;
    }
    if (m_repliesDue == 0) {
        take(arrival, arrival.cycle);
        return;
    }
    if (!m_lineFault && m_waiting.empty())
        violation(arrival.cycle, "command " + std::to_string(m_step.command) +
                                     " got no reply before the next byte came");
    m_waiting.push_back(arrival);
}

void ProtocolMonitor::take(const Arrival& arrival, std::uint64_t cycle) {
    if (inFast()) {
        const bool taken = m_fast.byteToUnit(arrival.cycle, arrival.byte);
        afterFast(arrival.cycle);
        if (taken)
            return;
    }
    const auto cameMs = static_cast<std::uint32_t>(arrival.cycle / kCyclesPerMs);
    if (m_resync.drop(cameMs))
        return;
    if (arrival.byte == kGarbled) {
        m_lineFault = true;
        m_reference.receiveError(cameMs);
        return;
    }
    unit::Step step;
    if (m_reference.receive(static_cast<std::uint8_t>(arrival.byte), cameMs, step))
        accept(cycle, step);
}

// What the unit's ADC makes of a sense input: 10 bits of libsimavr's settled 1.1 V
// reference, turned into volts with the reference the unit believes in.
std::uint16_t ProtocolMonitor::measured(int senseMillivolts, unit::Sense input) const {
    const int counts = std::min(1023, senseMillivolts * 1023 / 1100);
    return unit::senseCentivolts(static_cast<std::uint16_t>(counts),
                                 m_reference.referenceMillivolts(), input);
}

// The power-up's two measurements: before anything is switched, and with VDD on.
std::uint8_t ProtocolMonitor::supplies(std::uint64_t cycle) const {
    return unit::powerUpSupplyStatus(measured(m_board.vppSenseMillivolts(), unit::Sense::Vpp),
                                     measured(m_board.vddSenseMillivolts(cycle), unit::Sense::Vdd),
                                     measured(m_board.vddSenseSwitchedOn(), unit::Sense::Vdd),
                                     m_reference.lowVoltage());
}

void ProtocolMonitor::accept(std::uint64_t cycle, const unit::Step& step) {
    if (step.action == unit::Action::PowerUp && !m_reference.powerUp(supplies(cycle)))
        return;
    m_step = step;
    m_repliesDue = unitReplyCount(step.command);
    m_replyIndex = 0;
    if (step.action == unit::Action::Report) {
        m_reference.report(m_expected, measured(m_board.vppSenseMillivolts(), unit::Sense::Vpp), 0);
    } else if (step.action == unit::Action::EnterFast) {
        m_expected[0] = kFastModeVersion;
        m_expected[1] = unit::kFastRateMask;
    } else {
        m_expected[0] = m_reference.takeReply();
    }
    ++m_commands;
    m_commandEnd = cycle;
    m_framesBefore = m_decoder.framesCompleted();
    m_answered = false;
    m_movedAfterReply = false;
    m_moved = false;
    m_busy = false;
    m_lastBusy = 0;
    m_touchedWhileSilent = false;
}

void ProtocolMonitor::byteFromUnit(std::uint64_t cycle, std::uint8_t byte) {
    if (m_repliesDue == 0 && inFast()) {
        m_fast.byteFromUnit(cycle, byte);
        afterFast(cycle);
        return;
    }
    if (m_repliesDue == 0) {
        violation(cycle, "byte " + hexText(byte, 2) + " from the unit, which no command asked for");
        return;
    }
    if (!m_answered) {
        m_answered = true;
        checkPins(cycle, byte);
        const std::uint64_t busy = m_busy ? m_lastBusy - m_firstBusy : 0;
        const std::uint64_t own = cycle - m_commandEnd - busy;
        m_ownTotal += own;
        if (own > m_ownMax)
            m_ownMax = own;
    }
    checkReply(cycle, m_replyIndex++, byte);
    --m_repliesDue;
    // ENTER's reply is out: the unit runs at the rate asked for, if it can.
    if (m_repliesDue == 0 && m_step.action == unit::Action::EnterFast &&
        unit::fastRateTaken(static_cast<std::uint8_t>(m_step.value))) {
        m_fast.start(cycle);
        m_fastWasOn = true;
    }
    while (m_repliesDue == 0 && !m_waiting.empty()) {
        const Arrival next = m_waiting.front();
        m_waiting.pop_front();
        take(next, cycle);
    }
}

// The status byte comes last; a report's other bytes are known too, but for the VDD it
// measured, which falls for a while after a power-down.
void ProtocolMonitor::checkReply(std::uint64_t cycle, int index, std::uint8_t byte) {
    std::uint8_t expected = m_expected[0];
    if (m_step.action == unit::Action::EnterFast) {
        expected = m_expected[index];
    } else if (m_step.action == unit::Action::Report) {
        if (index == kReportVddLow || index == kReportVddHigh)
            return;
        expected = m_expected[index];
    } else if (index + 1 < unitReplyCount(m_step.command)) {
        return; // a read's data byte: checkPins
    }
    if (byte != expected)
        violation(cycle, "byte " + std::to_string(index + 1) + " of the reply to command " +
                             std::to_string(m_step.command) + " is " + hexText(byte, 2) +
                             "; the unit's state gives " + hexText(expected, 2));
}

void ProtocolMonitor::frameDecoded(const IcspPinDecoder::Frame& frame) {
    if (inFast())
        m_fast.frame(frame);
}

// Fast mode has ended: after framing errors, plain mode drops bytes until the line has
// been quiet.
void ProtocolMonitor::afterFast(std::uint64_t cycle) {
    if (!m_fastWasOn || m_fast.on() || m_fast.busy())
        return;
    m_fastWasOn = false;
    if (m_fast.rateLost())
        m_resync.start(static_cast<std::uint32_t>(cycle / kCyclesPerMs));
}

void ProtocolMonitor::pinsChanged(std::uint64_t cycle) {
    if (inFast()) {
        m_nets = m_decoder.nets();
        m_fast.pinsChanged(cycle);
        afterFast(cycle);
        return;
    }
    // A silent unit leaves the target as it is; only a refused power-up may switch VDD
    // for its second measurement, with MCLR held low and the lines low.
    const IcspNets before = m_nets;
    const IcspNets& nets = m_decoder.nets();
    m_nets = nets;
    if (m_reference.silent()) {
        const bool mclrRose = nets.mclr != before.mclr && nets.mclr != MclrLevel::Low;
        const char* touched = nets.pgc && !before.pgc                    ? "PGC clocked"
                              : mclrRose && nets.mclr == MclrLevel::Vihh ? "VPP on MCLR"
                              : mclrRose && nets.mclr == MclrLevel::Vih  ? "MCLR at VDD"
                              : mclrRose                                 ? "MCLR released"
                              : (nets.pgm && !before.pgm) || (nets.pgdDriven && nets.pgd &&
                                                              !(before.pgdDriven && before.pgd))
                                  ? "a line driven high"
                                  : nullptr;
        if (touched && !m_touchedWhileSilent)
            violation(cycle, std::string(touched) +
                                 " after a refusal: the target must stay as it is until "
                                 "the end command");
        m_touchedWhileSilent = m_touchedWhileSilent || touched != nullptr;
        return;
    }
    if (m_commands == 0)
        return; // the firmware setting its lines up after reset
    if (m_answered || m_repliesDue == 0) {
        if (!m_movedAfterReply)
            violation(cycle, "the pins moved after the reply to command " +
                                 std::to_string(m_step.command) +
                                 ", before the next command was complete");
        m_movedAfterReply = true;
        return;
    }
    m_moved = true;
    measuring(cycle, 0);
}

void ProtocolMonitor::measuring(std::uint64_t cycle, std::uint64_t cycles) {
    if (inFast()) {
        m_fast.measuring(cycle);
        return;
    }
    if (m_answered || m_repliesDue == 0)
        return;
    if (!m_busy)
        m_firstBusy = cycle;
    m_busy = true;
    m_lastBusy = std::max(m_lastBusy, cycle + cycles);
}

void ProtocolMonitor::checkPins(std::uint64_t cycle, std::uint8_t firstReply) {
    const IcspPinDecoder& pins = m_decoder;
    const std::string reply = "the reply to command " + std::to_string(m_step.command);
    const bool oneFrame = pins.framesCompleted() == m_framesBefore + 1;
    const IcspPinDecoder::Frame& frame = pins.lastFrame();
    switch (m_step.action) {
    case unit::Action::None:
    case unit::Action::Report:
    case unit::Action::Calibrate:
    case unit::Action::EnterFast:
        if (m_moved)
            violation(cycle, "the pins moved for command " + std::to_string(m_step.command) +
                                 ", which has no pin work");
        break;
    case unit::Action::PowerUp:
        if (!pins.programMode())
            violation(cycle, reply + " came while the chip was not in programming mode");
        break;
    case unit::Action::PowerDown:
        if (pins.targetPowered())
            violation(cycle, reply + " came while the target still had power");
        break;
    case unit::Action::CommandCode:
        if (pins.bitsInFrame() != 4 || pins.frameCommand() != m_step.value)
            violation(cycle, reply + " came with " + std::to_string(pins.bitsInFrame()) +
                                 " clocks of a frame on the pins, not the 4 of command " +
                                 hexText(m_step.value, 1));
        break;
    case unit::Action::Operand:
        if (!oneFrame || frame.read || frame.operand != m_step.value)
            violation(cycle, reply + " came before the chip had taken operand " +
                                 hexText(m_step.value, 4));
        break;
    case unit::Action::Pulse:
        if (!oneFrame || !frame.pulse)
            violation(cycle, reply + " came before the programming pulse was complete");
        else if (frame.pulseCycles < m_step.value * kCyclesPerMs)
            violation(cycle, "programming pulse held " + millisText(frame.pulseCycles) +
                                 "; the programming time is " + std::to_string(m_step.value) +
                                 " ms");
        break;
    case unit::Action::Read:
        if (!oneFrame || !frame.read)
            violation(cycle, reply + " came before the read was complete");
        else if (firstReply != frame.data)
            violation(cycle, "the unit answered " + hexText(firstReply, 2) +
                                 " to a read whose byte on PGD was " + hexText(frame.data, 2));
        break;
    }
}

} // namespace tessaline::pinlevel
