// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tessaline {

// The texts of the core end their lines with LF. The window's texts, and the dialogs
// interface that shows them, end lines with CR LF; the window passes a text of the core
// through this on its way to a dialog.
std::string crlfLines(std::string_view text);

} // namespace tessaline
