// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pin work of the unit's commands: the ICSP clock and data lines, and the switches
// of the target's VDD and of VPP on MCLR.

#include <stdint.h>

namespace tessaline {
namespace unit {
namespace icsp {

// Every line safe: VPP and VDD off, MCLR held low, PGC, PGD and PGM high-impedance.
void init();
// Programming mode: VDD, then VPP on MCLR (or VPP first); in low-voltage mode PGM goes up
// before MCLR goes to VDD. Says whether the supplies measured within their ranges.
void powerUp(bool vddFirst, bool lowVoltage, bool& vppInRange, bool& vddInRange);
// MCLR to ground with VPP off, VDD off at once after it, PGM down, a wait while the
// target's supply discharges; then the lines high-impedance and MCLR released.
void powerDown();
// `count` bits of `value`, least significant first; PGD is left driven low.
void writeBits(uint16_t value, uint8_t count);
// Core instruction NOP with its 4th clock held high for the programming time, PGC low
// for the discharge time (P10), then 16 zero bits.
void pulse(uint8_t milliseconds);
// The 8 operand bits a read command ignores (driven low), PGD turned around, and the 8
// bits the chip shifts out, least significant first. PGD stays an input.
uint8_t readByte();

} // namespace icsp
} // namespace unit
} // namespace tessaline
