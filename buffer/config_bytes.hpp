// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tessaline {

// The fourteen configuration bytes CONFIG1L .. CONFIG7H at 300000h .. 30000Dh, with the
// word that device scripts use for each and the text the status line shows for it.
struct ConfigByteInfo {
    std::string_view scriptName;  // "config1l"
    std::string_view statusText;  // "CONF1L:"
    std::string_view gridCaption; // "1L"
    std::int32_t address;         // 0x300000
};

inline constexpr std::int32_t kConfigBaseAddress = 0x300000;
inline constexpr std::int32_t kEepromBaseAddress = 0xF00000;

inline constexpr std::array<ConfigByteInfo, 14> kConfigBytes{{
    {"config1l", "CONF1L:", "1L", 0x300000},
    {"config1h", "CONF1H:", "1H", 0x300001},
    {"config2l", "CONF2L:", "2L", 0x300002},
    {"config2h", "CONF2H:", "2H", 0x300003},
    {"config3l", "CONF3L:", "3L", 0x300004},
    {"config3h", "CONF3H:", "3H", 0x300005},
    {"config4l", "CONF4L:", "4L", 0x300006},
    {"config4h", "CONF4H:", "4H", 0x300007},
    {"config5l", "CONF5L:", "5L", 0x300008},
    {"config5h", "CONF5H:", "5H", 0x300009},
    {"config6l", "CONF6L:", "6L", 0x30000A},
    {"config6h", "CONF6H:", "6H", 0x30000B},
    {"config7l", "CONF7L:", "7L", 0x30000C},
    {"config7h", "CONF7H:", "7H", 0x30000D},
}};

} // namespace tessaline
