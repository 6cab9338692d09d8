// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pin work of the unit's commands: the ICSP clock and data lines, the switches of the
// target's VDD and of VPP on MCLR, and the measurement of both supplies.

#include <stdint.h>

namespace tessaline {
namespace unit {
namespace icsp {

// The supplies as the sense inputs read them, in units of 10 mV: what J1 feeds the VPP
// switch, and the target's VDD.
struct Supplies {
    uint16_t vpp;
    uint16_t vdd;
};

// Every line safe: VPP and VDD off, MCLR held low, PGC, PGD and PGM high-impedance; the
// ADC on at its internal reference, which stays on from now.
void init();
// Both supplies, measured against an ADC reference of `referenceMillivolts`.
Supplies measure(uint16_t referenceMillivolts);
// Programming mode, if the supplies allow it: both measured before anything is switched,
// VDD on, VDD measured again once it has settled, and then VPP on MCLR (in low-voltage
// mode PGM goes up before MCLR goes to VDD). Returns the supply check's status bits; with
// any of kStatusFailures nothing went further: MCLR is still held low, VPP off and VDD
// off again, and no clock has run.
uint8_t powerUp(bool lowVoltage, uint16_t referenceMillivolts);
// Completes the frame of a core instruction that waits for its operand with 0000h (a
// NOP), and holds while what its 4th clock may have started (a bulk erase, a data EEPROM
// write) runs to its end.
void completeCoreInstruction();
// MCLR to ground with VPP off, VDD off at once after it, PGM down; then, once the
// target's VDD has fallen (or a bound has passed), the lines high-impedance and MCLR
// released.
void powerDown(uint16_t referenceMillivolts);
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
