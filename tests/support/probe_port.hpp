// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/byte_port.hpp"

#include <functional>
#include <utility>
#include <vector>

namespace tessaline::test {

// Stands between the engine and its port and shows every byte written to onWrite before
// the port takes it, whatever the operation's stage; everything else passes through.
class ProbePort : public BytePort {
public:
    explicit ProbePort(BytePort& port) : m_port(port) {}

    std::function<void(std::uint8_t)> onWrite;
    // Sees, and may change, what the program reads.
    std::function<void(std::vector<std::uint8_t>&)> onRead;
    // A port whose rate cannot change (an adapter that cannot do the rate asked for).
    bool fixedRate = false;

    bool isOpen() const override { return m_port.isOpen(); }
    void writeByte(std::uint8_t value) override {
        if (onWrite)
            onWrite(value);
        m_port.writeByte(value);
    }
    std::vector<std::uint8_t> readAll() override {
        std::vector<std::uint8_t> bytes = m_port.readAll();
        if (onRead)
            onRead(bytes);
        return bytes;
    }
    void setReceiveThreshold(int threshold) override { m_port.setReceiveThreshold(threshold); }
    int receiveThreshold() const override { return m_port.receiveThreshold(); }
    void setReceiveHandler(ReceiveHandler handler) override {
        m_port.setReceiveHandler(std::move(handler));
    }
    void setBaudRate(std::int32_t baud) override {
        if (!fixedRate)
            m_port.setBaudRate(baud);
    }

private:
    BytePort& m_port;
};

} // namespace tessaline::test
