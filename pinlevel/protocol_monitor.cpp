// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/protocol_monitor.hpp"

#include "protocol/unit_protocol.hpp"

#include <cstdio>

namespace tessaline::pinlevel {

namespace {

constexpr std::uint64_t kCyclesPerMs = 16000;

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*XH", digits, value);
    return text;
}

std::string millis(std::uint64_t cycles) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g ms", static_cast<double>(cycles) / kCyclesPerMs);
    return text;
}

} // namespace

void ProtocolMonitor::violation(std::uint64_t cycle, const std::string& text) {
    m_violations.push_back(text + " (cycle " + std::to_string(cycle) + ")");
}

void ProtocolMonitor::byteToUnit(std::uint64_t cycle, std::uint8_t byte) {
    if (m_repliesDue > 0) {
        violation(cycle, "command " + std::to_string(m_step.command) +
                             " got no reply before the next byte came");
        m_repliesDue = 0;
    }
    unit::Step step;
    if (!m_reference.receive(byte, static_cast<std::uint32_t>(cycle / kCyclesPerMs), step))
        return;
    m_step = step;
    m_repliesDue = unitReplyCount(step.command);
    ++m_commands;
    m_commandEnd = cycle;
    m_framesBefore = m_decoder.framesCompleted();
    m_answered = false;
    m_movedAfterReply = false;
    m_moved = false;
}

void ProtocolMonitor::byteFromUnit(std::uint64_t cycle, std::uint8_t byte) {
    if (m_repliesDue == 0) {
        violation(cycle, "byte " + hex(byte, 2) + " from the unit, which no command asked for");
        return;
    }
    if (!m_answered) {
        m_answered = true;
        checkPins(cycle, byte);
        const std::uint64_t busy = m_moved ? m_lastMove - m_firstMove : 0;
        const std::uint64_t own = cycle - m_commandEnd - busy;
        m_ownTotal += own;
        if (own > m_ownMax)
            m_ownMax = own;
    }
    --m_repliesDue;
}

void ProtocolMonitor::pinsChanged(std::uint64_t cycle) {
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
    if (!m_moved)
        m_firstMove = cycle;
    m_moved = true;
    m_lastMove = cycle;
}

void ProtocolMonitor::checkPins(std::uint64_t cycle, std::uint8_t firstReply) {
    const IcspPinDecoder& pins = m_decoder;
    const std::string reply = "the reply to command " + std::to_string(m_step.command);
    const bool oneFrame = pins.framesCompleted() == m_framesBefore + 1;
    const IcspPinDecoder::Frame& frame = pins.lastFrame();
    switch (m_step.action) {
    case unit::Action::None:
        if (m_moved)
            violation(cycle, "the pins moved for command " + std::to_string(m_step.command) +
                                 ", which has no pin work or was to be refused");
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
                                 hex(m_step.value, 1));
        break;
    case unit::Action::Operand:
        if (!oneFrame || frame.read || frame.operand != m_step.value)
            violation(cycle,
                      reply + " came before the chip had taken operand " + hex(m_step.value, 4));
        break;
    case unit::Action::Pulse:
        if (!oneFrame || !frame.pulse)
            violation(cycle, reply + " came before the programming pulse was complete");
        else if (frame.pulseCycles < m_step.value * kCyclesPerMs)
            violation(cycle, "programming pulse held " + millis(frame.pulseCycles) +
                                 "; the programming time is " + std::to_string(m_step.value) +
                                 " ms");
        break;
    case unit::Action::Read:
        if (!oneFrame || !frame.read)
            violation(cycle, reply + " came before the read was complete");
        else if (firstReply != frame.data)
            violation(cycle, "the unit answered " + hex(firstReply, 2) +
                                 " to a read whose byte on PGD was " + hex(frame.data, 2));
        break;
    }
}

} // namespace tessaline::pinlevel
