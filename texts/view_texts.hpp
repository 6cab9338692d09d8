// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

// "FLASH: 32768,  EEPROM: 256"
std::string infoText(std::int32_t flashSize, std::int32_t eepromSize);

// Sixteen bytes a line, "000010: FF FF ...", lines joined with CR LF and no line break
// after the last. A FLASH whose size is not a multiple of 16 ends with a shorter line.
// Only the window's hex views show these texts; their text boxes take CR LF as a line
// break, and the views have always held it.
std::string flashViewText(const ProgramBuffer& buffer);

// Eight bytes a line, "0008: FF FF ...", as the FLASH view.
std::string eepromViewText(const ProgramBuffer& buffer);

} // namespace tessaline
