// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/byte_trace.hpp"

namespace tessaline {

ByteTrace::~ByteTrace() = default;

} // namespace tessaline
