// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tessaline {

// An editor's hexadecimal entry of n digits (6 for a FLASH address, 2 otherwise): a
// shorter entry is padded with leading zeros, the whole is read in upper case. Returns
// kEntryCancelled for the empty entry (also Cancel) and -1 for anything that is not n
// hexadecimal digits.
inline constexpr std::int32_t kEntryCancelled = -2;
std::int32_t readHexEntry(const std::string& entry, std::size_t digits);

std::string flashAddressPrompt(std::int32_t flashSize);
std::string eepromAddressPrompt(std::int32_t eepromSize);

inline constexpr const char* kValuePrompt = "Enter new data to be written [00-FF].";
inline constexpr const char* kOutOfRange = "Out of range.";
inline constexpr const char* kNoEeprom = "This model do not feature EEPROM memory.";

} // namespace tessaline
