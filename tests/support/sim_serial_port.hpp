// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/serial_control.hpp"
#include "sim/pic18_chip.hpp"
#include "sim/programmer_unit.hpp"
#include "sim/sim_clock.hpp"

#include <QObject>

#include <deque>
#include <functional>

namespace tessaline::test {

// A serial port with the simulated unit and chip behind it, for window tests: replies are
// computed at once and handed over from the event loop, as a real port's would be. The
// chip runs on the machine's clock, since the window's waits really wait.
class SimSerialPort : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit SimSerialPort(const char* chipName);

    bool isOpen() const override { return m_open; }
    void writeByte(std::uint8_t value) override;
    std::vector<std::uint8_t> readAll() override;
    void setReceiveThreshold(int threshold) override;
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override { m_handler = std::move(handler); }
    void setSettings(const SerialSettings&) override {}
    void setCommPort(int portNumber) override { m_portNumber = portNumber; }
    int commPort() const override { return m_portNumber; }
    bool setPortOpen(bool open) override;
    std::string description() const override { return "simulated unit"; }
    std::string failureReason() const override { return m_open ? std::string() : absentReason; }
    void setErrorHandler(ErrorHandler handler) override { m_errorHandler = std::move(handler); }
    // An opening with a start-up delay starts a wait that only finishUnitStart ends.
    void setStartupDelay(int milliseconds) override { m_startupDelayMs = milliseconds; }
    bool starting() const override { return m_starting; }
    void setStartedHandler(StartedHandler handler) override { m_started = std::move(handler); }
    void finishUnitStart();

    void fail(const std::string& text);
    // The unit behind the open port is gone (its program killed, its adapter pulled out):
    // bytes written vanish, and `error`, when given, is reported as the port's failure at
    // once and at every write. Opening the port again reaches a unit again (one started on
    // the same link, the adapter plugged in again).
    void unitGone(const std::string& error = {});
    int openCount = 0;
    // Called as each byte goes to the unit, before the unit takes it.
    std::function<void()> onWrite;

    // The port opens only while the unit is present; failureReason() then says why not.
    bool present = true;
    std::string absentReason;

    sim::SteadyClock clock;
    sim::Pic18Chip chip;
    sim::ProgrammerUnit unit;

private:
    void scheduleDelivery();

    bool m_open = false;
    int m_portNumber = 2;
    int m_threshold = 0;
    bool m_scheduled = false;
    int m_startupDelayMs = 0;
    bool m_starting = false;
    bool m_gone = false;
    std::string m_goneError;
    StartedHandler m_started;
    std::deque<std::uint8_t> m_incoming;
    ReceiveHandler m_handler;
    ErrorHandler m_errorHandler;
};

} // namespace tessaline::test
