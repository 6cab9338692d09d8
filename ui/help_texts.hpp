// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tessaline {

// The wiring of the PC's 9-pin serial connector as the programmer unit uses it, every
// line ended by CR LF, columns separated by TAB.
std::string pinoutText();

// The About message, every line ended by CR LF.
std::string aboutText(const std::string& appTitle);

} // namespace tessaline
