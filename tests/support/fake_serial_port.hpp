#pragma once

#include "app/serial_control.hpp"

#include <deque>
#include <set>
#include <string>

namespace tessaline::test {

// A serial port that opens only the port numbers it is told exist, records every byte
// written and hands out bytes the test queues.
class FakeSerialPort : public SerialControl {
public:
    std::set<int> presentPorts;
    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
    std::string settings;
    int openCount = 0;

    bool isOpen() const override { return m_open; }
    void writeByte(std::uint8_t value) override { written.push_back(value); }
    std::vector<std::uint8_t> readAll() override;
    void setReceiveThreshold(int threshold) override { m_threshold = threshold; }
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override { m_handler = std::move(handler); }

    bool setSettings(const std::string& text) override;
    void setCommPort(int portNumber) override { m_port = portNumber; }
    int commPort() const override { return m_port; }
    bool setPortOpen(bool open) override;
    std::string description() const override { return "fake port " + std::to_string(m_port); }
    void setErrorHandler(ErrorHandler handler) override { m_errorHandler = std::move(handler); }
    // The port fails as an unplugged adapter would.
    void fail(const std::string& text) {
        if (m_errorHandler)
            m_errorHandler(text);
    }

    // Queues bytes and raises the receive event as the event loop would.
    void deliver(const std::vector<std::uint8_t>& bytes);

private:
    bool m_open = false;
    int m_port = 1;
    int m_threshold = 0;
    ReceiveHandler m_handler;
    ErrorHandler m_errorHandler;
};

} // namespace tessaline::test
