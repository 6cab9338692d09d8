// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/loopback_port.hpp"

namespace tessaline::sim {

LoopbackPort::LoopbackPort(ProgrammerUnit& unit, ManualClock& clock, std::int32_t baud)
    // A start bit, eight data bits and a stop bit per byte.
    : m_unit(unit), m_clock(clock), m_byteMicros(10'000'000 / (baud > 0 ? baud : 56000)) {}

void LoopbackPort::writeByte(std::uint8_t value) {
    ++m_sent;
    m_clock.advance(m_byteMicros);
    for (std::uint8_t reply : m_unit.receive(value)) {
        m_clock.advance(m_byteMicros);
        m_incoming.push_back(reply);
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
