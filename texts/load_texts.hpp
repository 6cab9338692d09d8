// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/hex_reader.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaline {

// What the user reads after a HEX file was loaded: the load report, or the reader's fault.

// The loaded FLASH extent in KiB as the load report writes it: a point as decimal
// separator, no zero before it, cut to four characters (32768 -> "32", 1234 -> "1.20",
// 1000 -> ".976", 1 -> ".000", 0 -> "0").
std::string kibText(std::int32_t loadedFlashTop);

// "Operation completed." LF "Total n (kK) program bytes loaded."
std::string loadReport(std::int32_t loadedFlashTop);

// "Input program file in Intel Hex Format contains errors." LF "Line number 5: ..."
std::string hexLoadErrorMessage(const HexReadResult& result);

// The text appended after the line number for each fault, from ": ".
std::string_view hexLoadErrorText(HexLoadError error);

} // namespace tessaline
