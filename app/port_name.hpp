// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tessaline {

// The device that port number N opens: "COMN" on Windows; elsewhere the link "comN" in
// the settings folder when it exists (as Wine maps its ports), else /dev/ttyS(N-1).
QString serialDeviceForPort(int portNumber, const QString& settingsFolder);

} // namespace tessaline
