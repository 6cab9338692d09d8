// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/byte_port.hpp"

#include <deque>
#include <functional>
#include <vector>

namespace tessaline::test {

// A port that records every byte written and hands out bytes the test queues. Base is
// the port interface to implement: BytePort, or an interface derived from it.
template <typename Base> class FakePort : public Base {
public:
    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
    // Sees every byte as it is written, whatever the operation's stage.
    std::function<void(std::uint8_t)> onWrite;

    bool isOpen() const override { return m_open; }
    void writeByte(std::uint8_t value) override {
        if (onWrite)
            onWrite(value);
        written.push_back(value);
    }
    std::vector<std::uint8_t> readAll() override {
        std::vector<std::uint8_t> bytes(incoming.begin(), incoming.end());
        incoming.clear();
        return bytes;
    }
    void setReceiveThreshold(int threshold) override { m_threshold = threshold; }
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(BytePort::ReceiveHandler handler) override {
        m_handler = std::move(handler);
    }
    // The rates set, in order.
    std::vector<std::int32_t> bauds;
    void setBaudRate(std::int32_t baud) override { bauds.push_back(baud); }

    // Queues bytes and raises the receive event as the event loop would.
    void deliver(const std::vector<std::uint8_t>& bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
        if (m_threshold == 1 && m_handler)
            m_handler();
    }

protected:
    bool m_open = true;

private:
    int m_threshold = 0;
    BytePort::ReceiveHandler m_handler;
};

using FakeBytePort = FakePort<BytePort>;

} // namespace tessaline::test
