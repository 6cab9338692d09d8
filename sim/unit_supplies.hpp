// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tessaline::sim {

// What feeds a simulated reference unit and its target, and how the unit's jumpers sit:
// the unit measures the supplies and reads jumper J3 before every power-up.
struct UnitSupplies {
    int vppMillivolts = 11000; // the boost module's output
    // The +5 V rail, which feeds the target's VDD (and MCLR when J1 is on +5 V); with
    // targetPowered, the target's own supply.
    int vddMillivolts = 5000;
    bool targetPowered = false;     // the target has a supply of its own (J2 open)
    bool mclrFromFiveVolts = false; // J1 on +5 V rather than on the boost module
    bool lowVoltage = false;        // J3 set: low-voltage entry through PGM
};

} // namespace tessaline::sim
