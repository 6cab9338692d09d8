// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace tessaline {

// The device that port number N opens: "COMN" on Windows; elsewhere the link "comN" in
// the settings folder when it exists (as Wine maps its ports), else /dev/ttyS(N-1).
QString serialDeviceForPort(int portNumber, const QString& settingsFolder);

// The device a port name stands for, as the serial library reads it: elsewhere than on
// Windows a bare name such as "ttyUSB0" is the device of that name in /dev.
QString serialPortLocation(const QString& name);

// What a port's own settings (its unit type) are stored under: the device it opens, with
// links resolved where it exists, so that port 2 through its com2 link, the link itself
// and the device's own name all find the same settings.
std::string portSettingDevice(const QString& name);

} // namespace tessaline
