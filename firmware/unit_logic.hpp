// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programmer unit's byte protocol as its firmware runs it: command bytes and their
// arguments in, what to do on the pins out, and the reply value. It does no input or
// output of its own, so the same code runs on the ATmega328P and in the host's tests.
// C++14 with <stdint.h> only: avr-g++ 5.4 has no standard library.

#include "protocol/command_framer.hpp"

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

namespace tessaline {
namespace unit {

// What a complete command asks of the pins.
enum class Action : uint8_t {
    None,        // answer only: 100, 111, or a command that was refused
    PowerUp,     // 101 and 102
    PowerDown,   // 103
    CommandCode, // 107: clock the 4-bit command
    Operand,     // 108: clock the 16-bit operand of a write command
    Pulse,       // 109: core instruction NOP with its 4th clock held for the programming time
    Read,        // 110: clock 8 bits out, turn PGD around, clock 8 bits in
};

struct Step {
    uint8_t command = 0;
    Action action = Action::None;
    // 107: the 4-bit command; 108: the operand; 109: the programming time in ms.
    uint16_t value = 0;
    // PowerUp: VDD before VPP (101), or VPP first (102).
    bool vddFirst = true;
    // PowerUp while the chip was powered: the whole power-down sequence comes first.
    bool powerDownFirst = false;
};

// The ICSP 4-bit commands by direction (0000 and 11xx take an operand from the host;
// 0010 and 10xx shift a byte out of the chip). The others are no programming commands.
constexpr bool isWriteCode(uint8_t code) {
    return code == 0x0 || (code >= 0xC && code <= 0xF);
}
constexpr bool isReadCode(uint8_t code) {
    return code == 0x2 || (code >= 0x8 && code <= 0xB);
}

class UnitLogic {
public:
    UnitLogic();

    // A byte from the host, received at `nowMs` (a free-running millisecond count).
    // True when it completes a command; `step` then says what to do. A byte outside the
    // command set where a command byte is due is dropped.
    bool receive(uint8_t byte, uint32_t nowMs, Step& step);
    // Drops a command whose argument bytes have not come for kUnitPartialCommandMs.
    void tick(uint32_t nowMs);
    // A byte was lost or garbled on the line (framing error, overrun): the command under
    // way, if any, is dropped.
    void receiveError();
    // The jumper's mode, read before every power-up: low-voltage entry through PGM.
    void setLowVoltage(bool on) { m_lowVoltage = on; }
    bool lowVoltage() const { return m_lowVoltage; }
    // What the power-up measured.
    void powerMeasured(bool vppInRange, bool vddInRange);
    // The reply value: the status bits since the last reply, and those of the last
    // power-up. Clears the former.
    uint8_t takeStatus();

    bool powered() const { return m_powered; }
    bool commandPending() const { return m_framer.partial(); }
    uint8_t progTimeMs() const { return m_progTimeMs; }

private:
    enum class Pending : uint8_t { None, Write, Read };

    Step complete();
    void refuse(Step& step);

    CommandFramer m_framer;
    bool m_powered = false;
    bool m_lowVoltage = false;
    Pending m_pending = Pending::None;
    uint8_t m_progTimeMs = 1;
    uint8_t m_status = 0;
    uint8_t m_powerStatus = 0;
};

} // namespace unit
} // namespace tessaline
