// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/serial_settings.hpp"
#include "engine/byte_port.hpp"

#include <functional>
#include <string>

namespace tessaline {

// The serial port of the programmer unit as the window drives it: the byte port of the
// engine plus the serial settings, the port number and the open flag.
class SerialControl : public BytePort {
public:
    ~SerialControl() override;

    // The rate and character frame, from the next opening on (at once when open).
    virtual void setSettings(const SerialSettings& settings) = 0;
    virtual void setCommPort(int portNumber) = 0;
    virtual int commPort() const = 0;
    // Opens or closes the port; true when the port is then in the asked state.
    virtual bool setPortOpen(bool open) = 0;
    // After every opening, wait this long and discard whatever arrived meanwhile: a unit
    // that resets when its port opens is still starting up. 0 (the default): no wait.
    // The wait runs in the event loop: the port reads as starting and raises no receive
    // event until it has passed, then calls the started handler. A close or a failure of
    // the port ends the wait without that call.
    virtual void setStartupDelay(int milliseconds) { (void)milliseconds; }
    virtual bool starting() const { return false; }
    using StartedHandler = std::function<void()>;
    virtual void setStartedHandler(StartedHandler handler) = 0;
    // The device behind the port number and, after a failure, the reason.
    virtual std::string description() const = 0;
    // After a failed open, why, in words that name the device; empty otherwise.
    virtual std::string failureReason() const { return {}; }
    // Called from the event loop when the open port fails (an adapter pulled out), with
    // the system's error text.
    using ErrorHandler = std::function<void(const std::string&)>;
    virtual void setErrorHandler(ErrorHandler handler) = 0;
};

} // namespace tessaline
