// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"

#include <string>

namespace tessaline {

// The device file as the window and the command-line tool find it: devices.cfg beside the
// executable (a program run from its build or unpacked folder), else
// ../share/tessaline/devices.cfg relative to it (an installed program).
struct DeviceFile {
    enum class Status { Loaded, Missing, Unreadable, NoModel };
    Status status = Status::Missing;
    // The file read; when it is missing, the place beside the program.
    std::string path;
    // When it is missing: the installed program's place.
    std::string sharedPath;
    // Why the file could not be read.
    std::string reason;
    DeviceTable table;
};

// Looks in both places; a file beside the program wins even when it cannot be read.
DeviceFile findDeviceFile(const std::string& programFolder);

// Reads the file at a given path.
DeviceFile readDeviceFile(const std::string& path);

} // namespace tessaline
