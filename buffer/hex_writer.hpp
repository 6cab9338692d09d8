// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"

#include <string>

namespace tessaline {

// The whole buffer as a PIC18 Intel HEX text, every line ended by CR LF: the used part of
// FLASH (made an even number of bytes), the fourteen configuration bytes at 300000h, the
// used part of the EEPROM at F00000h, and the end-of-file record. Records hold at most 16
// bytes; an extended linear address record precedes every 64 KiB of FLASH.
std::string writeHexText(const ProgramBuffer& buffer);

} // namespace tessaline
