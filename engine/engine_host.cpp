#include "engine/engine_host.hpp"

namespace tessaline {

EngineHost::~EngineHost() = default;

} // namespace tessaline
