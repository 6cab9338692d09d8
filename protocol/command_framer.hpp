// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Splits the bytes that reach a unit into commands: a command byte, then as many argument
// bytes as that command takes. Every reader of the host's bytes frames them with it (the
// firmware, the simulated unit, the pin-level monitor, the port that feeds the simulated
// firmware, the link's trace), so that all of them keep one rule for a byte outside the
// command set and one for a command whose arguments stop coming. C++14 with <stdint.h>
// only, for avr-g++ as for the host.

#include "protocol/unit_protocol.hpp"

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

namespace tessaline {

class CommandFramer {
public:
    enum Event : uint8_t {
        kMoreToCome,  // the byte belongs to a command whose last byte has not come yet
        kComplete,    // the byte completes a command: command() and argument() tell it
        kNotACommand, // a command byte was due and this is none; the byte is dropped
    };

    // `set`: the commands the unit takes. `partialCommandMs`: how long a command may wait
    // for its next argument byte before it is dropped; 0 keeps it however long the line is
    // quiet.
    explicit CommandFramer(CommandSet set = CommandSet::Original,
                           uint16_t partialCommandMs = kUnitPartialCommandMs)
        : m_set(set), m_partialCommandMs(partialCommandMs) {}

    // A byte at `nowMs` of the reader's millisecond count. A partial command older than
    // the partial-command time is dropped first (dropped() tells).
    Event take(uint8_t byte, uint32_t nowMs);
    // Time passes with no byte: drops a partial command whose last byte came more than
    // the partial-command time ago. True when it dropped one.
    bool expire(uint32_t nowMs);
    // Drops the partial command, if any (a byte of it was lost). True when there was one.
    bool drop();

    // Whether some bytes of a command have come and the rest has not.
    bool partial() const { return m_command != 0; }
    // Whether the last take() dropped a partial command before it took its byte.
    bool dropped() const { return m_dropped; }
    // The last command completed, and its arguments (the first is 0, a 16-bit operand's
    // low byte).
    uint8_t command() const { return m_lastCommand; }
    uint8_t argument(uint8_t index) const { return m_arguments[index & 1]; }
    uint16_t operand() const { return static_cast<uint16_t>(m_arguments[0] | m_arguments[1] << 8); }
    // The place of the last byte taken in its command: 0 for the command byte, 1 and 2
    // for its arguments; and that command, complete or not.
    uint8_t position() const { return m_position; }
    uint8_t lastByteCommand() const { return m_command != 0 ? m_command : m_lastCommand; }

private:
    CommandSet m_set;
    uint16_t m_partialCommandMs;
    uint8_t m_command = 0; // the command whose arguments are coming; 0: none
    uint8_t m_lastCommand = 0;
    uint8_t m_arguments[2] = {0, 0};
    uint8_t m_received = 0;
    uint8_t m_position = 0;
    bool m_dropped = false;
    uint32_t m_lastByteMs = 0;
};

} // namespace tessaline
