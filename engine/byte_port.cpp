#include "engine/byte_port.hpp"

namespace tessaline {

BytePort::~BytePort() = default;

} // namespace tessaline
