// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs.hpp"

namespace tessaline {

Dialogs::~Dialogs() = default;

} // namespace tessaline
