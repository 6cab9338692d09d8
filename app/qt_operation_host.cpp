// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_operation_host.hpp"

#include "app/serial_control.hpp"

#include <QCoreApplication>
#include <QThread>

namespace tessaline {

QtOperationHost::QtOperationHost() {
    m_replyTimer.setSingleShot(true);
    QObject::connect(&m_replyTimer, &QTimer::timeout, [this] {
        if (m_control)
            m_control->replyTimedOut();
    });
}

void QtOperationHost::attach(OperationControl& control, SerialControl& port) {
    m_control = &control;
    port.setReceiveHandler([&control] { control.MSComm1_OnComm(); });
    port.setErrorHandler([&control](const std::string& text) { control.portFailed(text); });
}

void QtOperationHost::letPendingEventsRun() {
    QCoreApplication::processEvents();
}

void QtOperationHost::waitMilliseconds(int milliseconds) {
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void QtOperationHost::startReplyTimer(int milliseconds) {
    m_replyTimer.start(milliseconds);
}

void QtOperationHost::stopReplyTimer() {
    m_replyTimer.stop();
}

} // namespace tessaline
