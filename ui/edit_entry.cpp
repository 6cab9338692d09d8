// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/edit_entry.hpp"

#include "buffer/hex_text.hpp"
#include "buffer/text_rules.hpp"

namespace tessaline {

std::int32_t readHexEntry(const std::string& entry, std::size_t digits) {
    if (entry.empty())
        return kEntryCancelled;
    std::string padded = entry;
    if (padded.size() < digits)
        padded.insert(0, digits - padded.size(), '0');
    padded = toUpperAscii(padded);
    return digits == 6 ? ParseHex6(padded) : ParseHex2(padded);
}

std::string flashAddressPrompt(std::int32_t flashSize) {
    return "Enter the address of FLASH memory location to edit [000000-" + Hex6(flashSize - 1) +
           "].";
}

std::string eepromAddressPrompt(std::int32_t eepromSize) {
    return "Enter the address of EEPROM memory location to edit [00-" + Hex2(eepromSize - 1) + "].";
}

} // namespace tessaline
