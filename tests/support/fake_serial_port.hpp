// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/serial_control.hpp"
#include "tests/support/fake_byte_port.hpp"

#include <set>
#include <string>

namespace tessaline::test {

// A serial port that opens only the port numbers it is told exist, records every byte
// written and hands out bytes the test queues.
class FakeSerialPort : public FakePort<SerialControl> {
public:
    FakeSerialPort() { m_open = false; }

    std::set<int> presentPorts;
    SerialSettings settings;
    int openCount = 0;
    int startupDelay = 0;

    void setSettings(const SerialSettings& given) override { settings = given; }
    void setCommPort(int portNumber) override { m_port = portNumber; }
    int commPort() const override { return m_port; }
    bool setPortOpen(bool open) override;
    std::string description() const override { return "fake port " + std::to_string(m_port); }
    void setStartupDelay(int milliseconds) override { startupDelay = milliseconds; }
    void setErrorHandler(ErrorHandler handler) override { m_errorHandler = std::move(handler); }
    void setStartedHandler(StartedHandler handler) override { m_started = std::move(handler); }
    // The port fails as an unplugged adapter would.
    void fail(const std::string& text) {
        if (m_errorHandler)
            m_errorHandler(text);
    }

private:
    int m_port = 1;
    ErrorHandler m_errorHandler;
    StartedHandler m_started;
};

} // namespace tessaline::test
