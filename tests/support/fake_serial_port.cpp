#include "tests/support/fake_serial_port.hpp"

namespace tessaline::test {

std::vector<std::uint8_t> FakeSerialPort::readAll() {
    std::vector<std::uint8_t> bytes(incoming.begin(), incoming.end());
    incoming.clear();
    return bytes;
}

bool FakeSerialPort::setSettings(const std::string& text) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    settings = text;
    return true;
}

bool FakeSerialPort::setPortOpen(bool open) {
    if (open) {
        m_open = presentPorts.count(m_port) != 0;
        if (m_open)
            ++openCount;
    } else {
        m_open = false;
    }
    return m_open == open;
}

void FakeSerialPort::deliver(const std::vector<std::uint8_t>& bytes) {
    incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    if (m_threshold == 1 && m_handler)
        m_handler();
}

} // namespace tessaline::test
