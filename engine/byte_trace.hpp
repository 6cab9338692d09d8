// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tessaline {

// One byte on the wire to the programmer unit, as the link saw it.
struct TracedByte {
    enum class Direction { Sent, Received };

    std::chrono::steady_clock::time_point time;
    Direction direction = Direction::Sent;
    std::uint8_t value = 0;
    // The command the byte belongs to (100 .. 111): the command byte itself, one of its
    // argument bytes or one of its replies; 0 for a byte that came before any command.
    std::uint8_t command = 0;
    // Sent: 0 for the command byte, 1 and 2 for its arguments. Received: 0 for the first
    // reply byte, 1 for the second (a read command has two).
    int position = 0;
    // The script word the engine was executing, empty when none.
    std::string word;
};

// Sees every byte sent to and received from the unit.
class ByteTrace {
public:
    virtual ~ByteTrace();
    virtual void traceByte(const TracedByte& byte) = 0;
};

} // namespace tessaline
