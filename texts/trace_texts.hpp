// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/byte_trace.hpp"

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>

namespace tessaline {

// A readable line for a traced byte: seconds since `origin`, the direction ("->" to the
// unit, "<-" from it), the byte in hexadecimal, what it is, and the script word, e.g.
//     0.001234  -> 6B  command code            s0d-flash
std::string traceLine(const TracedByte& byte, std::chrono::steady_clock::time_point origin);

// A readable line for fast mode's packets, their replies and the mode, e.g.
//     0.012345  => packet 03  512 bytes, 140 commands, 32 reads     s0d-flash
//     0.013001  <= reply 03  32 data bytes, status 00h
std::string tracePacketLine(const TracedPacket& packet,
                            std::chrono::steady_clock::time_point origin);

// Writes every byte as a trace line to a stream; times count from the first byte.
class TraceWriter : public ByteTrace {
public:
    explicit TraceWriter(std::ostream& out);
    void traceByte(const TracedByte& byte) override;
    void tracePacket(const TracedPacket& packet) override;

private:
    std::ostream& m_out;
    std::optional<std::chrono::steady_clock::time_point> m_origin;
};

} // namespace tessaline
