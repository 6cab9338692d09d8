// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/avr_loopback_port.hpp"

#include "protocol/unit_protocol.hpp"

namespace tessaline::pinlevel {

AvrLoopbackPort::AvrLoopbackPort(AvrUnit& unit) : m_unit(unit), m_framer(CommandSet::Reference) {
    m_packets.setBuffer(m_payload, sizeof m_payload);
    // A plain command's reply bytes count one by one, a packet's reply once whole. Each
    // packet's reply goes to the program as soon as it is whole, as a cable delivers it, so
    // that the program sends its next packet while the unit runs the one still in flight.
    m_unit.onByte = [this](std::uint8_t byte) {
        m_incoming.push_back(byte);
        m_lastReply = m_unit.cycle();
        bool answered = true;
        bool packet = false;
        if (m_plainDue > 0) {
            --m_plainDue;
        } else {
            const ReplyReceiver::Event event = m_replies.take(byte);
            answered = event == ReplyReceiver::kComplete || event == ReplyReceiver::kBad;
            packet = true;
        }
        if (!answered || m_repliesDue == 0)
            return;
        if (--m_repliesDue == 0 || packet) {
            m_packetAnswered = m_repliesDue > 0;
            m_unit.pause();
        }
    };
}

// The port frames what it sends as the unit will, on the unit's clock, to know the
// replies due: commands in plain mode, packets once the unit is in fast mode.
void AvrLoopbackPort::writeByte(std::uint8_t value) {
    m_unit.send(value);
    const auto nowMs = static_cast<std::uint32_t>(m_unit.cycle() / AvrUnit::kCyclesPerMs);
    if (m_unit.monitor().fastMode()) {
        if (m_packets.take(value, nowMs) != PacketReceiver::kNothing)
            ++m_repliesDue;
        return;
    }
    m_packets.reset();
    m_replies.reset();
    if (m_framer.take(value, nowMs) == CommandFramer::kComplete) {
        m_repliesDue += unitReplyCount(m_framer.command());
        m_plainDue += unitReplyCount(m_framer.command());
    }
}

std::vector<std::uint8_t> AvrLoopbackPort::readAll() {
    std::vector<std::uint8_t> bytes(m_incoming.begin(), m_incoming.end());
    m_incoming.clear();
    return bytes;
}

// Runs the unit until every reply due is out and on the wire to the host, so that the
// next command starts after the reply has arrived, as it would over a cable. A unit that
// stays silent through the budget owes nothing more: the host has given up on it.
bool AvrLoopbackPort::awaitReplies(int budgetMs) {
    const std::uint64_t limit =
        m_unit.cycle() + static_cast<std::uint64_t>(budgetMs) * AvrUnit::kCyclesPerMs;
    if (m_repliesDue > 0 && !m_unit.runUntil(limit))
        return false;
    if (m_repliesDue > 0 && !m_packetAnswered) {
        m_repliesDue = 0;
        m_plainDue = 0;
        return false;
    }
    m_packetAnswered = false;
    return m_unit.runUntil(m_lastReply + m_unit.byteCycles());
}

std::int64_t AvrLoopbackPort::deliver(std::int64_t maxEvents, int budgetMs) {
    std::int64_t events = 0;
    while (events < maxEvents && m_threshold == 1 && m_handler) {
        if (m_incoming.empty()) {
            if (m_repliesDue == 0 && m_unit.bytesOnWire() == 0)
                break;
            awaitReplies(budgetMs);
            if (m_incoming.empty())
                break;
        }
        m_handler();
        ++events;
    }
    return events;
}

void AvrLoopbackPort::waitMilliseconds(int milliseconds) {
    if (milliseconds > 0)
        m_unit.runUntil(m_unit.cycle() +
                        static_cast<std::uint64_t>(milliseconds) * AvrUnit::kCyclesPerMs);
}

} // namespace tessaline::pinlevel
