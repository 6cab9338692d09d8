#include "engine/byte_trace.hpp"

namespace tessaline {

ByteTrace::~ByteTrace() = default;

} // namespace tessaline
