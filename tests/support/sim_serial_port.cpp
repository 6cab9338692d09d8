// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_serial_port.hpp"

#include <QMetaObject>

namespace tessaline::test {

SimSerialPort::SimSerialPort(const char* chipName)
    : chip(*sim::findChipModel(chipName), clock), unit(chip, clock) {}

void SimSerialPort::writeByte(std::uint8_t value) {
    if (onWrite)
        onWrite();
    if (m_gone) {
        if (!m_goneError.empty())
            QMetaObject::invokeMethod(
                this, [this] { fail(m_goneError); }, Qt::QueuedConnection);
        return;
    }
    for (std::uint8_t reply : unit.receive(value))
        m_incoming.push_back(reply);
    scheduleDelivery();
}

std::vector<std::uint8_t> SimSerialPort::readAll() {
    std::vector<std::uint8_t> bytes(m_incoming.begin(), m_incoming.end());
    m_incoming.clear();
    return bytes;
}

void SimSerialPort::setReceiveThreshold(int threshold) {
    m_threshold = threshold;
    scheduleDelivery();
}

bool SimSerialPort::setPortOpen(bool open) {
    m_open = open && present;
    m_starting = m_open && m_startupDelayMs > 0;
    if (m_open) {
        ++openCount;
        m_gone = false;
        m_incoming.clear();
    }
    return m_open == open;
}

void SimSerialPort::finishUnitStart() {
    m_starting = false;
    if (m_started)
        m_started();
}

void SimSerialPort::fail(const std::string& text) {
    m_starting = false;
    if (m_errorHandler)
        m_errorHandler(text);
}

void SimSerialPort::unitGone(const std::string& error) {
    m_gone = true;
    m_goneError = error;
    if (!error.empty())
        fail(error);
}

void SimSerialPort::scheduleDelivery() {
    if (m_scheduled || m_threshold != 1 || m_incoming.empty())
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_scheduled = false;
            if (m_threshold == 1 && !m_incoming.empty() && m_handler)
                m_handler();
        },
        Qt::QueuedConnection);
}

} // namespace tessaline::test
