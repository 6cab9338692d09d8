// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/view_texts.hpp"

#include "buffer/hex_text.hpp"

namespace tessaline {

namespace {

std::string viewText(const std::vector<std::uint8_t>& bytes, std::size_t perLine,
                     int addressDigits) {
    std::string text;
    if (bytes.empty())
        return text;
    const std::size_t lines = (bytes.size() + perLine - 1) / perLine;
    const std::size_t lineLength = static_cast<std::size_t>(addressDigits) + 1 + 3 * perLine + 2;
    text.reserve(lines * lineLength);
    for (std::size_t start = 0; start < bytes.size(); start += perLine) {
        if (start != 0)
            text += "\r\n";
        const auto address = static_cast<std::int32_t>(start);
        text += addressDigits == 6 ? Hex6(address) : Hex4(address);
        text.push_back(':');
        const std::size_t end = std::min(start + perLine, bytes.size());
        for (std::size_t i = start; i < end; ++i) {
            text.push_back(' ');
            appendHex2(text, bytes[i]);
        }
    }
    return text;
}

} // namespace

std::string infoText(std::int32_t flashSize, std::int32_t eepromSize) {
    return "FLASH: " + std::to_string(flashSize) + ",  EEPROM: " + std::to_string(eepromSize);
}

std::string flashViewText(const ProgramBuffer& buffer) {
    return viewText(buffer.Flash, 16, 6);
}

std::string eepromViewText(const ProgramBuffer& buffer) {
    return viewText(buffer.Eeprom, 8, 4);
}

} // namespace tessaline
