// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/unit_supplies.hpp"
#include "unitsim/usb_adapter.hpp"

#include <string>

namespace tessaline::unitsim {

// What tessaline-unitsim was asked to serve.
struct Options {
    // The unit's firmware in a simulated ATmega328P (--firmware); otherwise the
    // transfer-level unit.
    std::string firmware;
    std::string chip = "18F452";
    std::string load;
    std::string save;
    std::string link;
    std::string vcd;
    long baud = 0;
    long replyDelayMs = 0;
    long muteAfter = -1;
    long seed = 12345;
    bool noise = false;
    bool empty = false;
    bool allowPowered = false;
    // A reference unit (the firmware is always one): its supplies, jumpers and line.
    bool reference = false;
    double vppVolts = 11.0;
    double vddVolts = 5.0;
    bool targetPowered = false;
    std::string mclrJumper;  // J1: "boost" or "5v"; unset, it follows J3
    bool lowVoltage = false; // J3
    long dropByte = 0;
    long garbleByte = 0;
    // The USB serial adapter between the program and the unit (--adapter).
    UsbAdapter adapter = UsbAdapter::None;
    std::string adapterName;

    bool firmwareBackend() const { return !firmware.empty(); }
    // The supplies and jumpers that --vpp-volts, --vdd-volts, --target-powered,
    // --mclr-jumper and --lvp give.
    sim::UnitSupplies supplies() const;
};

struct ParsedOptions {
    enum class Request { Serve, Help, Version };
    Request request = Request::Serve;
    Options options;
    // Why the command line cannot be served; empty when it can.
    std::string error;
};

// One table of options for both back ends: an option that makes no sense for the back
// end chosen is refused with the reason, as is an option without its value (an empty one
// included: it would quietly stand for the default, or for no file at all).
ParsedOptions parseOptions(int argc, char** argv);

extern const char* const kUsage;

} // namespace tessaline::unitsim
