// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/pic18_chip.hpp"

#include <string>

namespace tessaline::sim {

// Programs the chip's memories from an Intel HEX file (named in UTF-8), as if a programmer
// had written it before the run. False with the reason when the file cannot be read or is
// faulty.
bool loadChipImage(const std::string& path, Pic18Chip& chip, std::string& error);
// The chip's memories as Intel HEX text.
std::string chipImageHex(const Pic18Chip& chip);
// The names of the simulated parts, ten to a line, each line indented.
std::string knownChipNames();

} // namespace tessaline::sim
