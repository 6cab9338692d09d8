// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/byte_port.hpp"

namespace tessaline {

BytePort::~BytePort() = default;

} // namespace tessaline
