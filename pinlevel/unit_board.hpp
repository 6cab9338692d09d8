// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pinlevel/icsp_pin_decoder.hpp"

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
// Jumper J1 feeds VPP or, for low-voltage programming, VDD into the VPP switch. It turns
// the registers into the ICSP lines and reports what the circuit itself must never see.
class UnitBoard {
public:
    explicit UnitBoard(bool lowVoltage = false) : m_lowVoltage(lowVoltage) {}

    IcspNets nets(const AvrPort& c, const AvrPort& d, std::uint64_t cycle);

    // The voltages at the sense inputs, in millivolts (the divided VPP and VDD).
    int vppSenseMillivolts() const;
    static int vddSenseMillivolts(bool vddOn);

    const std::vector<std::string>& violations() const { return m_violations; }

private:
    void check(bool fault, bool& reported, std::uint64_t cycle, const char* text);

    bool m_lowVoltage;
    std::vector<std::string> m_violations;
    bool m_vppIntoGround = false;
    bool m_pullUp = false;
    bool m_switchPullUp = false;
};

} // namespace tessaline::pinlevel
