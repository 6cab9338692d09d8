// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/program_buffer.hpp"

#include <algorithm>

namespace tessaline {

std::uint8_t ProgramBuffer::flashByteOrErased(std::int64_t address) const {
    if (address < 0 || address >= static_cast<std::int64_t>(Flash.size()))
        return 0xFF;
    return Flash[static_cast<std::size_t>(address)];
}

void ResetBuffer(ProgramBuffer& buffer, std::int32_t flashSize, std::int32_t eepromSize,
                 const ConfigValues& configErased) {
    buffer.FlashSize = flashSize;
    buffer.EepromSize = eepromSize;
    buffer.Flash.assign(static_cast<std::size_t>(std::max(flashSize, 0)), 0xFF);
    buffer.Eeprom.assign(static_cast<std::size_t>(std::max(eepromSize, 0)), 0xFF);
    buffer.Config = configErased;
}

std::int32_t highestNonBlank(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = bytes.size(); i > 0; --i)
        if (bytes[i - 1] != 0xFF)
            return static_cast<std::int32_t>(i - 1);
    return -1;
}

} // namespace tessaline
