// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"

#include <QStringList>

#include <optional>
#include <string>

namespace tessaline {

class Dialogs;

// The device table of the window's start. When the device file is missing, cannot be read
// or describes no model, the user is told so, naming the file, and nothing is returned:
// the program must end.
std::optional<DeviceTable> loadDeviceTableForWindow(const std::string& programFolder,
                                                    Dialogs& dialogs);

// The HEX file that the desktop hands the window (its entry's %f): the only argument after
// the program's name, as an absolute path. Nothing else is taken from the command line.
QString fileArgument(const QStringList& arguments);

} // namespace tessaline
