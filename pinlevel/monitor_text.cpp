// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/monitor_text.hpp"

#include <cstdio>

namespace tessaline::pinlevel {

std::string hexText(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*XH", digits, value);
    return text;
}

std::string millisText(std::uint64_t cycles) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g ms", static_cast<double>(cycles) / kMonitorCyclesPerMs);
    return text;
}

} // namespace tessaline::pinlevel
