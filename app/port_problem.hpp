// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "texts/port_texts.hpp"

#include <QString>

#include <string>

namespace tessaline {

// What the system tells about a serial device, for the texts of texts/port_texts.hpp.

// The facts about a path; on systems without these notions only the path and its kind.
PortFacts portFacts(const QString& path);

// The program that holds a serial device, as "minicom (process 1234)", where Linux tells
// it: the lock file of the device's name (Qt's and the UUCP kind), else a process whose open
// files include the device. Empty when nothing tells.
std::string portHolder(const QString& path);

} // namespace tessaline
