// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tessaline {

// The programming times, in milliseconds, that a model's record and the options may set:
// the unit holds the 4th clock of a programming command high for that long.
constexpr std::int32_t kShortestProgTimeMs = 1;
constexpr std::int32_t kLongestProgTimeMs = 30;

} // namespace tessaline
