// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"
#include "engine/operation_control.hpp"
#include "sim/loopback_port.hpp"
#include "sim/pic18_chip.hpp"
#include "sim/programmer_unit.hpp"
#include "tests/support/fake_hosts.hpp"
#include "tests/support/probe_port.hpp"

#include <memory>
#include <string>

namespace tessaline::test {

// One model of devices.cfg against the simulated unit and a strict chip of the same
// name, in one process: the engine's waits move the simulated clock.
struct SimRig {
    SimRig(const DeviceModel& record, const sim::ChipModel& chipModel);

    // Runs an operation to its end; false when it did not complete.
    bool run(OperationKind kind);

    sim::ManualClock clock;
    sim::Pic18Chip chip;
    sim::ProgrammerUnit unit;
    sim::LoopbackPort port;
    // What the control writes to the port passes here first.
    ProbePort probe{port};
    SelectedModelValues model;
    ProgramBuffer buffer;
    RecordingOperationHost host;
    OperationControl control;
};

// Fills the whole FLASH and EEPROM with seeded random bytes; the last byte of each is 00h,
// so that an operation that covers up to the last byte in use covers all.
void fillMemories(ProgramBuffer& buffer, unsigned seed);

// Fills the configuration bytes with seeded random values that use only bits the chip has
// and leave every CP, WRT and EBTR bit at 1, so that nothing is protected.
void fillUnprotectedConfig(ProgramBuffer& buffer, const sim::ChipModel& chip, unsigned seed);

// The shipped device file, and its record of one model.
const DeviceTable& shippedDevices();
const DeviceModel& shippedRecord(const std::string& model);

} // namespace tessaline::test
