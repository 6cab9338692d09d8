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

// Fast mode on the wire: the mode an operation runs in, and each packet and reply as a
// whole.
struct TracedPacket {
    enum class Kind {
        Mode,     // the operation runs in fast mode at `baud`, or (0) in standard mode
        Packet,   // a packet sent: seq, its payload's bytes, commands and reads
        Reply,    // a good reply: seq, its data bytes (count), status
        BadReply, // bytes that are no good reply, or a reply that is not the one due
        Abort,    // ABORT sent
    };

    std::chrono::steady_clock::time_point time;
    Kind kind = Kind::Packet;
    std::int32_t baud = 0;
    std::uint8_t seq = 0;
    std::uint32_t bytes = 0;
    std::uint32_t commands = 0;
    std::uint32_t count = 0; // reads of a packet, data bytes of a reply
    std::uint8_t status = 0;
    // The script word of the packet's first command, when one is known.
    std::string word;
};

// Sees every byte sent to and received from the unit, and fast mode's packets.
class ByteTrace {
public:
    virtual ~ByteTrace();
    virtual void traceByte(const TracedByte& byte) = 0;
    virtual void tracePacket(const TracedPacket& packet) { (void)packet; }
};

} // namespace tessaline
