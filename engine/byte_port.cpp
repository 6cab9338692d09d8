// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/byte_port.hpp"

namespace tessaline {

BytePort::~BytePort() = default;

void BytePort::writeBytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        writeByte(bytes[i]);
}

} // namespace tessaline
