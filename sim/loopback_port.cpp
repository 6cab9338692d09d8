// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/loopback_port.hpp"

namespace tessaline::sim {

namespace {

// A start bit, eight data bits and a stop bit per byte.
std::int64_t byteMicros(std::int32_t baud) {
    return 10'000'000 / (baud > 0 ? baud : 56000);
}

} // namespace

LoopbackPort::LoopbackPort(ProgrammerUnit& unit, ManualClock& clock, std::int32_t baud)
    : m_unit(unit), m_clock(clock), m_baud(baud > 0 ? baud : 56000) {}

void LoopbackPort::writeByte(std::uint8_t value) {
    ++m_sent;
    m_clock.advance(byteMicros(m_baud));
    const std::int32_t unitBaud = m_unit.baud();
    fromUnit(unitBaud == m_baud ? m_unit.receive(value) : m_unit.receiveGarbled(), unitBaud);
}

void LoopbackPort::waitMicros(std::int64_t micros) {
    m_clock.advance(micros);
    const std::int32_t unitBaud = m_unit.baud();
    fromUnit(m_unit.tick(), unitBaud);
}

void LoopbackPort::fromUnit(const std::vector<std::uint8_t>& bytes, std::int32_t unitBaud) {
    for (const std::uint8_t reply : bytes) {
        m_clock.advance(byteMicros(unitBaud));
        m_incoming.push_back(unitBaud == m_baud ? reply : 0x00);
    }
}

std::vector<std::uint8_t> LoopbackPort::readAll() {
    std::vector<std::uint8_t> bytes(m_incoming.begin(), m_incoming.end());
    m_received += bytes.size();
    m_incoming.clear();
    return bytes;
}

std::int64_t LoopbackPort::deliver(std::int64_t maxEvents) {
    std::int64_t events = 0;
    while (events < maxEvents && m_threshold == 1 && !m_incoming.empty() && m_handler) {
        m_handler();
        ++events;
    }
    return events;
}

} // namespace tessaline::sim
