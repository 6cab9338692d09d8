// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tessaline::pinlevel {

// The ATmega328P's clock: 16 MHz.
constexpr std::uint64_t kMonitorCyclesPerMs = 16000;

// How the monitors write a value in their reports: hexadecimal with a trailing H, and a
// time in the unit's clock cycles as milliseconds.
std::string hexText(unsigned value, int digits);
std::string millisText(std::uint64_t cycles);

} // namespace tessaline::pinlevel
