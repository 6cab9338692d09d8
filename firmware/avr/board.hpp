// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The unit on an Arduino Uno or Nano (ATmega328P at 16 MHz): which pin drives which line,
// and the timing of the pin work in clock cycles. The ICSP lines are all on PORTC and the
// power switches all on PORTD, so each group changes in one `out` instruction.

#include "protocol/unit_protocol.hpp"

#include <stdint.h>

namespace tessaline {
namespace unit {

constexpr uint32_t kCpuHz = 16000000;

// PORTC: PC0 (A0) PGC, PC1 (A1) PGD, PC2 (A2) PGM, PC3 (A3) a spare input with its
// pull-up, PC4/PC5 (A4/A5) the VPP and VDD sense inputs, which must never get a pull-up.
constexpr uint8_t kPgc = 1 << 0;
constexpr uint8_t kPgd = 1 << 1;
constexpr uint8_t kPgm = 1 << 2;
constexpr uint8_t kSpare = 1 << 3;
constexpr uint8_t kIcspLines = kPgc | kPgd | kPgm;
constexpr uint8_t kVppSenseChannel = 4;
constexpr uint8_t kVddSenseChannel = 5;

// PORTD: PD4 (D4) target VDD on, PD5 (D5) VPP on MCLR, PD6 (D6) MCLR pulled to ground,
// PD7 (D7) the red "target powered" LED. PD0/PD1 are the UART, PD2/PD3 stay free.
constexpr uint8_t kVddOn = 1 << 4;
constexpr uint8_t kVppOn = 1 << 5;
constexpr uint8_t kMclrLow = 1 << 6;
constexpr uint8_t kLed = 1 << 7;
constexpr uint8_t kPowerLines = kVddOn | kVppOn | kMclrLow | kLed;

// PORTB: PB0 (D8) the mode jumper J3, to ground for low-voltage programming. PB1 to PB5
// (D9 to D13) are free: inputs with their pull-ups, as are PD2 and PD3 (D2, D3).
constexpr uint8_t kModeJumper = 1 << 0;
constexpr uint8_t kUnusedPortB = 0x3E;
constexpr uint8_t kUnusedPortD = (1 << 2) | (1 << 3);

// 56000 baud: U2X with UBRR 35 gives 55,556 baud (-0.79 %).
constexpr uint8_t kBaudRegister = 35;

// Clock shape, in cycles of 62.5 ns: PGD set while PGC is low, 125 ns, PGC high for
// 250 ns (312 ns with the port writes), PGC low (the chip latches PGD), PGD held 125 ns,
// then the loop's own cycles: PGC low for about 1 µs, 1.35 µs a bit. The documents ask for
// 40 ns high and low and 100 ns a period (P2A, P2B, P2) and 15 ns of set-up and hold (P3,
// P4) at 5 V; the pin decoder holds the firmware to each.
constexpr uint8_t kSetupCycles = 2;
constexpr uint8_t kHighCycles = 4;
constexpr uint8_t kHoldCycles = 2;
// Read: PGC low before the first output bit (P6, 20 ns) and the wait from PGC rising to
// sampling PGD (P14, 10 ns, plus the cable and the AVR's input synchronizer), and PGC low
// after the sample.
constexpr uint8_t kTurnaroundCycles = 4;
constexpr uint8_t kSampleCycles = 6;
constexpr uint8_t kReadLowCycles = 4;
// LVP: PGM up before MCLR (P15, 2 µs).
constexpr uint8_t kPgmSetupCycles = 160;

// Longer waits, in ticks of Timer1 at clk/64 (4 µs): they may only ever come out longer.
constexpr uint16_t kTicksPerMs = 250;
constexpr uint16_t kVddSettleTicks = 20 * kTicksPerMs; // VDD up to MCLR up (P13, 100 ns)
constexpr uint16_t kEntryHoldTicks = 25;               // MCLR up to the first clock (P12, 2 µs)
constexpr uint16_t kDischargeTicks = 50; // after the programming pulse (P10 <= 200 µs)
constexpr uint16_t kPowerDownTicks = 10 * kTicksPerMs; // MCLR held low at least this long
constexpr uint16_t kCutCoreHoldTicks = kCutCoreInstructionHoldMs * kTicksPerMs;
// The internal 1.1 V reference charges the 100 nF on AREF for a few milliseconds after it
// is switched on; nothing is measured before.
constexpr uint16_t kReferenceSettleTicks = 30 * kTicksPerMs;
// After a power-down MCLR is released once the target's VDD reads below
// kVddAbsentCentivolts (its capacitors discharge through the 1 kΩ bleeder, 20 ms for the
// board's own 10 µF), or after this long: a target with a supply of its own never falls.
constexpr uint16_t kDischargeBoundMs = 500;

// The calibrated ADC reference in millivolts, in the AVR's EEPROM (an erased word reads
// FFFFh: not calibrated).
constexpr uint16_t kCalibrationAddress = 0;

} // namespace unit
} // namespace tessaline
