#pragma once

#include <cstdint>
#include <string>

namespace tessaline {

// The loaded FLASH extent in KiB as the load report writes it: a point as decimal
// separator, no zero before it, cut to four characters (32768 -> "32", 1234 -> "1.20",
// 1000 -> ".976", 1 -> ".000", 0 -> "0").
std::string kibText(std::int32_t loadedFlashTop);

// "Operation completed." CR LF "Total n (kK) program bytes loaded."
std::string loadReport(std::int32_t loadedFlashTop);

} // namespace tessaline
