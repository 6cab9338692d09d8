// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"

#include <string>

namespace tessaline {

// The model dialog's prompt: a title line, an empty line, then the models in two columns
// (the first half on the left), each entry its number, ".", TAB and the name in upper
// case; names in the left column are padded to ten characters, longer ones get one blank.
std::string modelListPrompt(const DeviceTable& table);

} // namespace tessaline
