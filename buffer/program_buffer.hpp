// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tessaline {

inline constexpr int kConfigByteCount = 14;

// Erased values of CONFIG1L .. CONFIG7H; -1 marks a value the device file left malformed.
using ConfigValues = std::array<std::int32_t, kConfigByteCount>;

// The in-memory image of one PIC18: FLASH, data EEPROM and the configuration bytes.
struct ProgramBuffer {
    std::int32_t FlashSize = 0;
    std::int32_t EepromSize = 0;
    std::vector<std::uint8_t> Flash;
    std::vector<std::uint8_t> Eeprom;
    ConfigValues Config{};
    // One past the highest FLASH address that the last HEX load wrote.
    std::int32_t LoadedFlashTop = 0;

    // FLASH byte at address, or FF for an address outside the image (the high byte of a
    // word at the end of an odd-sized FLASH).
    std::uint8_t flashByteOrErased(std::int64_t address) const;
};

// Sizes the buffer to the model (a size below 1 gives an empty array), fills FLASH and
// EEPROM with FF and copies the erased configuration values.
void ResetBuffer(ProgramBuffer& buffer, std::int32_t flashSize, std::int32_t eepromSize,
                 const ConfigValues& configErased);

// Highest index whose byte is not FF, scanning down from the end; -1 when all are FF.
std::int32_t highestNonBlank(const std::vector<std::uint8_t>& bytes);

} // namespace tessaline
