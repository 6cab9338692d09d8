// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/operation_control.hpp"

#include <QTimer>

namespace tessaline {

class SerialControl;

// The parts of an operation's host that every Qt front end shares: the serial port's
// receive and failure events go to the operation control, the wait for each reply is a
// timer, pending events run through the event loop and the script's waits block.
class QtOperationHost : public OperationHost {
public:
    QtOperationHost();

    // Routes the port's events to the control.
    void attach(OperationControl& control, SerialControl& port);

    void letPendingEventsRun() override;
    void waitMilliseconds(int milliseconds) override;
    void startReplyTimer(int milliseconds) override;
    void stopReplyTimer() override;

private:
    QTimer m_replyTimer;
    OperationControl* m_control = nullptr;
};

} // namespace tessaline
