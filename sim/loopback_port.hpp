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
// event loop; the manual clock moves by the wire time of every byte in both directions:
// the port's rate for what it writes, the unit's rate for what the unit sends. A byte
// sent at a rate other than the unit's reaches a reference unit with a framing error, and
// one the unit sends at a rate other than the port's arrives as 00h (as a serial port
// hands on a byte with a framing error).
class LoopbackPort : public BytePort {
public:
    LoopbackPort(ProgrammerUnit& unit, ManualClock& clock, std::int32_t baud = 56000);

    bool isOpen() const override { return true; }
    void writeByte(std::uint8_t value) override;
    std::vector<std::uint8_t> readAll() override;
    void setReceiveThreshold(int threshold) override { m_threshold = threshold; }
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override { m_handler = std::move(handler); }

    // The port's rate from now on.
    void setBaudRate(std::int32_t baud) override { m_baud = baud > 0 ? baud : 56000; }
    std::int32_t baudRate() const { return m_baud; }
    // The host waits: the clock moves, and the unit sees the time pass (a packet cut
    // short, a quiet line), answering what that causes.
    void waitMicros(std::int64_t micros);

    // Raises receive events while bytes wait and notifications are on. Returns the number
    // of events raised; stops after maxEvents.
    std::int64_t deliver(std::int64_t maxEvents = 100000000);

    std::uint64_t bytesSent() const { return m_sent; }
    std::uint64_t bytesReceived() const { return m_received; }

private:
    void fromUnit(const std::vector<std::uint8_t>& bytes, std::int32_t unitBaud);

    ProgrammerUnit& m_unit;
    ManualClock& m_clock;
    std::int32_t m_baud;
    std::deque<std::uint8_t> m_incoming;
    int m_threshold = 0;
    ReceiveHandler m_handler;
    std::uint64_t m_sent = 0;
    std::uint64_t m_received = 0;
};

} // namespace tessaline::sim
