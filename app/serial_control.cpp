// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/serial_control.hpp"

namespace tessaline {

SerialControl::~SerialControl() = default;

} // namespace tessaline
