#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
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

// A readable line for a traced byte: seconds since `origin`, the direction ("->" to the
// unit, "<-" from it), the byte in hexadecimal, what it is, and the script word, e.g.
//     0.001234  -> 6B  command code            s0d-flash
std::string traceLine(const TracedByte& byte, std::chrono::steady_clock::time_point origin);

// Writes every byte as a trace line to a stream; times count from the first byte.
class TraceWriter : public ByteTrace {
public:
    explicit TraceWriter(std::ostream& out);
    void traceByte(const TracedByte& byte) override;

private:
    std::ostream& m_out;
    std::optional<std::chrono::steady_clock::time_point> m_origin;
};

} // namespace tessaline
