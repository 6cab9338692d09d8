// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/byte_port.hpp"
#include "sim/programmer_unit.hpp"
#include "sim/sim_clock.hpp"

#include <cstdint>
#include <deque>

namespace tessaline::sim {

// Connects the engine to a simulated unit in the same process. Replies are computed as
// each byte is written and handed to the receive handler by deliver(), which plays the
// event loop; the manual clock moves by the wire time of every byte in both directions.
class LoopbackPort : public BytePort {
public:
    LoopbackPort(ProgrammerUnit& unit, ManualClock& clock, std::int32_t baud = 56000);

    bool isOpen() const override { return true; }
    void writeByte(std::uint8_t value) override;
    std::vector<std::uint8_t> readAll() override;
    void setReceiveThreshold(int threshold) override { m_threshold = threshold; }
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override { m_handler = std::move(handler); }

    // Raises receive events while bytes wait and notifications are on. Returns the number
    // of events raised; stops after maxEvents.
    std::int64_t deliver(std::int64_t maxEvents = 100000000);

    std::uint64_t bytesSent() const { return m_sent; }
    std::uint64_t bytesReceived() const { return m_received; }

private:
    ProgrammerUnit& m_unit;
    ManualClock& m_clock;
    std::int64_t m_byteMicros;
    std::deque<std::uint8_t> m_incoming;
    int m_threshold = 0;
    ReceiveHandler m_handler;
    std::uint64_t m_sent = 0;
    std::uint64_t m_received = 0;
};

} // namespace tessaline::sim
