// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_serial_port.hpp"

namespace tessaline::test {

bool FakeSerialPort::setPortOpen(bool open) {
    if (open) {
        m_open = presentPorts.contains(m_port);
        if (m_open)
            ++openCount;
    } else {
        m_open = false;
    }
    return m_open == open;
}

} // namespace tessaline::test
