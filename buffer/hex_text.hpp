// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Fixed-width upper-case hexadecimal text, as every file, view and prompt of the
// programmer shows it. Parsers return -1 for anything that is not exactly that form.
namespace tessaline {

std::string Hex2(std::int32_t value);
std::string Hex4(std::int32_t value);
std::string Hex6(std::int32_t value);

std::int32_t ParseHex2(std::string_view text);
std::int32_t ParseHex4(std::string_view text);
std::int32_t ParseHex6(std::string_view text);

// Intel HEX checksum of a record body written as hexadecimal pairs (count, address,
// type and data, without the colon and without the checksum).
std::string HexRecordChecksum(std::string_view body);

// Appends the two digits of the low 8 bits of value; used by the text builders that
// run over whole memory images.
void appendHex2(std::string& out, std::uint8_t value);

} // namespace tessaline
