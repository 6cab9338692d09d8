// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pinlevel/icsp_pin_decoder.hpp"
#include "sim/unit_supplies.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::pinlevel {

// One port of the ATmega328P: its output latch (PORTx) and direction (DDRx) registers.
struct AvrPort {
    std::uint8_t port = 0;
    std::uint8_t ddr = 0;
};

// The circuit of the reference unit on an Arduino Uno or Nano: PORTC drives PGC (PC0),
// PGD (PC1) and PGM (PC2) through series resistors with 47 kΩ / 10 kΩ pull-downs, PC4 and
// PC5 sense VPP and VDD; PORTD switches the target's VDD (PD4), VPP onto MCLR (PD5) and
// MCLR to ground (PD6, whose transistor a pull-up keeps on while the AVR is in reset).
// Jumper J1 feeds the boost module's VPP or +5 V into the VPP switch. The target's VDD
// falls through the 1 kΩ bleeder from the board's 10 µF and the target's own 100 nF. It
// turns the registers into the ICSP lines and the sense voltages, and reports what the
// circuit itself must never see.
class UnitBoard {
public:
    explicit UnitBoard(const sim::UnitSupplies& supplies = {});

    IcspNets nets(const AvrPort& c, const AvrPort& d, std::uint64_t cycle);

    // The target's VDD, in millivolts; and the voltages at the sense inputs, in
    // millivolts (the divided VPP and VDD).
    int vddMillivolts(std::uint64_t cycle) const;
    int vppSenseMillivolts() const;
    int vddSenseMillivolts(std::uint64_t cycle) const;
    // The VDD sense input once the unit's VDD switch is on and VDD has settled.
    int vddSenseSwitchedOn() const;

    const sim::UnitSupplies& supplies() const { return m_supplies; }
    const std::vector<std::string>& violations() const { return m_violations; }

private:
    void check(bool fault, bool& reported, std::uint64_t cycle, const std::string& text);

    sim::UnitSupplies m_supplies;
    std::vector<std::string> m_violations;
    bool m_vppIntoGround = false;
    bool m_pullUp = false;
    bool m_switchPullUp = false;
    bool m_earlyRelease = false;
    bool m_mclrLow = true;
    // The unit's VDD switch, when it last changed, and VDD then.
    bool m_vddOn = false;
    std::uint64_t m_vddChanged = 0;
    int m_vddThen = 0;
};

} // namespace tessaline::pinlevel
