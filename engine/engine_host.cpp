// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/engine_host.hpp"

namespace tessaline {

EngineHost::~EngineHost() = default;

} // namespace tessaline
