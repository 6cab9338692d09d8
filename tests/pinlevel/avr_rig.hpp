// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"
#include "engine/operation_control.hpp"
#include "pinlevel/avr_loopback_port.hpp"
#include "pinlevel/avr_unit.hpp"
#include "tests/support/fake_hosts.hpp"

#include <string>
#include <vector>

namespace tessaline::test {

// The unit's firmware build of that name (tessaline-unit, or one of its fault builds).
std::string firmwarePath(const std::string& name = "tessaline-unit");

// One model of devices.cfg driving the unit's firmware in simulated silicon, in one
// process and without a wall clock: the engine's waits run the firmware for that long.
struct AvrRigOptions {
    std::string firmware = firmwarePath();
    const char* chip = nullptr; // another chip in the socket than the record's
    bool lowVoltage = false;    // the unit's jumpers J1 and J3 set for low-voltage entry
    int vddMillivolts = 5000;   // the +5 V rail that feeds the target
};

struct AvrRig {
    explicit AvrRig(const DeviceModel& record, const AvrRigOptions& options = {});

    // Runs an operation to its end, letting the reply timer run out whenever the unit is
    // silent; false when it did not complete.
    bool run(OperationKind kind);
    // Ends the run and returns everything the bench saw go wrong.
    std::vector<std::string> finish(bool allowPowered = false);

    pinlevel::AvrUnit unit;
    pinlevel::AvrLoopbackPort port;
    SelectedModelValues model;
    ProgramBuffer buffer;
    RecordingOperationHost host;
    OperationControl control;
};

} // namespace tessaline::test
