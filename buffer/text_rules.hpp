// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How the program reads the texts that people write: names in either letter case, and
// numbers as far as they go.
namespace tessaline {

// ASCII letters only; every other byte stays as it is.
std::string toUpperAscii(std::string_view text);
std::string toLowerAscii(std::string_view text);

// The number at the start of a text: leading blanks skipped, an optional sign, digits
// and an optional decimal fraction; reading stops at the first character that cannot
// continue the number. A text without a leading number gives 0.
double leadingNumber(std::string_view text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), held in the
// signed 32-bit range.
std::int32_t roundHalfEven(double value);

// leadingNumber rounded half to even: sizes and times in devices.cfg, numeric settings.
std::int32_t leadingWholeNumber(std::string_view text);

} // namespace tessaline
