// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace tessaline {

// Prints a record of the device file as the program understands it: the values that
// applying it gives, each with the line it comes from, and every script word with the
// instruction it decodes to. Returns what the start check would refuse in its scripts,
// each led by FILE:LINE.
std::vector<std::string> listModel(std::ostream& out, std::int32_t number,
                                   const DeviceModel& record);

} // namespace tessaline
