// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/byte_port.hpp"

#include <functional>
#include <utility>

namespace tessaline::test {

// Stands between the engine and its port and shows every byte written to onWrite before
// the port takes it, whatever the operation's stage; everything else passes through.
class ProbePort : public BytePort {
public:
    explicit ProbePort(BytePort& port) : m_port(port) {}

    std::function<void(std::uint8_t)> onWrite;

    bool isOpen() const override { return m_port.isOpen(); }
    void writeByte(std::uint8_t value) override {
        if (onWrite)
            onWrite(value);
        m_port.writeByte(value);
    }
    std::vector<std::uint8_t> readAll() override { return m_port.readAll(); }
    void setReceiveThreshold(int threshold) override { m_port.setReceiveThreshold(threshold); }
    int receiveThreshold() const override { return m_port.receiveThreshold(); }
    void setReceiveHandler(ReceiveHandler handler) override {
        m_port.setReceiveHandler(std::move(handler));
    }
    void setBaudRate(std::int32_t baud) override { m_port.setBaudRate(baud); }

private:
    BytePort& m_port;
};

} // namespace tessaline::test
