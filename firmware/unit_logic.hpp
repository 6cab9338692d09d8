// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reference unit's byte protocol as its firmware runs it: command bytes and their
// arguments in, what to do on the pins out, the reply value, and when to fall silent
// (protocol/unit_protocol.hpp). It does no input or output of its own, so the same code
// runs on the ATmega328P, in the simulated reference unit and in the host's tests. C++14
// with <stdint.h> only: avr-g++ 5.4 has no standard library.

#include "protocol/command_framer.hpp"
#include "protocol/unit_protocol.hpp"

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

namespace tessaline {
namespace unit {

// What a complete command asks of the pins.
enum class Action : uint8_t {
    None,        // answer only: 100, 111
    PowerUp,     // 101: measure the supplies, then VDD and VPP on MCLR if they are good
    PowerDown,   // 103
    CommandCode, // 107: clock the 4-bit command
    Operand,     // 108: clock the 16-bit operand of a write command
    Pulse,       // 109: core instruction NOP with its 4th clock held for the programming time
    Read,        // 110: clock 8 bits out, turn PGD around, clock 8 bits in
    Report,      // kCmdUnitReport: measure the supplies, answer the report
    Calibrate,   // kCmdCalibrate: store the reference's millivolts
    EnterFast,   // kCmdEnterFast: the rate asked for; fast mode (unit_batch) answers it
};

struct Step {
    uint8_t command = 0;
    Action action = Action::None;
    // 107: the 4-bit command; 108: the operand; 109: the programming time in ms;
    // kCmdCalibrate: the millivolts; kCmdEnterFast: the FastRate.
    uint16_t value = 0;
    // 103 while a core instruction (0000) waits for its operand: its frame is completed
    // with the operand 0000h first, and the supplies stay on for
    // kCutCoreInstructionHoldMs. Any other 4-bit command is cut: MCLR going low drops
    // it, and it has started nothing yet.
    bool completeFrame = false;
};

// The ICSP 4-bit commands by direction (0000 and 11xx take an operand from the host;
// 0010 and 10xx shift a byte out of the chip). The others are no programming commands.
constexpr bool isWriteCode(uint8_t code) {
    return code == 0x0 || (code >= 0xC && code <= 0xF);
}
constexpr bool isReadCode(uint8_t code) {
    return code == 0x2 || (code >= 0x8 && code <= 0xB);
}

// The sense inputs and their dividers on the board: VPP (what J1 feeds the VPP switch)
// through 100 kΩ / 8.2 kΩ, the target's VDD through 47 kΩ / 10 kΩ.
enum class Sense : uint8_t { Vpp, Vdd };
constexpr uint32_t kVppDividerTop = 1000; // in units of 100 Ω
constexpr uint32_t kVppDividerBottom = 82;
constexpr uint32_t kVddDividerTop = 470;
constexpr uint32_t kVddDividerBottom = 100;

// A 10-bit reading of a sense input against an ADC reference of `referenceMillivolts`,
// as the voltage at the divider's input in units of 10 mV.
uint16_t senseCentivolts(uint16_t counts, uint16_t referenceMillivolts, Sense input);

// The supply check of a power-up, on voltages in units of 10 mV: VPP at its sense input,
// and the target's VDD, measured with the unit's VDD switch still off (`vddSwitchedOn`
// false) or switched on and settled. J3 (`lowVoltage`) asks for about 5 V from J1, high-
// voltage entry for the boost module's 10 to 12.5 V. VDD present while the switch is off
// is a target with a supply of its own: a warning, and that supply must be in its window.
// Returns the status bits; any of kStatusFailures refuses the power-up.
uint8_t supplyStatus(uint16_t vppCentivolts, uint16_t vddCentivolts, bool lowVoltage,
                     bool vddSwitchedOn);
// Both checks of a power-up, as the firmware makes them: VDD as found before the switch,
// then, unless that already refuses, VDD once switched on.
uint8_t powerUpSupplyStatus(uint16_t vppCentivolts, uint16_t vddFoundCentivolts,
                            uint16_t vddSwitchedOnCentivolts, bool lowVoltage);

class UnitLogic {
public:
    UnitLogic();

    // A byte from the host that came in at `nowMs` (a free-running millisecond count).
    // True when it completes a command that is to run and be answered; `step` then says
    // what to do. False for a byte that belongs to a command yet to complete, and for
    // every byte the unit drops or refuses: nothing is done and nothing answered.
    bool receive(uint8_t byte, uint32_t nowMs, Step& step);
    // A whole command of a fast-mode packet (CommandSet::Packet but LEAVE and WAIT), with
    // its argument bytes (0 where it has none): decided as receive() decides it once the
    // command's last byte is in. True when it is to run; false when the unit refuses it and
    // falls silent, or is silent already.
    bool take(uint8_t command, uint8_t low, uint8_t high, Step& step);
    // The power-down that fast mode makes of its own accord (ABORT, LEAVE while powered,
    // falling back to plain mode): 103 as it runs, taken even while the unit is silent,
    // whose silence it ends.
    void end(Step& step);
    // Time passes with no byte: a command whose arguments stopped coming for
    // kUnitPartialCommandMs makes the unit fall silent.
    void tick(uint32_t nowMs);
    // A byte was garbled or lost on the line at `nowMs` (a framing error, an overrun, a
    // full receive buffer): the unit falls silent.
    void receiveError(uint32_t nowMs);
    // The jumper J3, read before every byte: low-voltage entry through PGM.
    void setLowVoltage(bool on) { m_lowVoltage = on; }
    bool lowVoltage() const { return m_lowVoltage; }
    // The supply check of the power-up that receive() asked for (supplyStatus of its
    // measurements). True: it goes on. False: refused; the unit is silent, and must leave
    // the target safe and not answer.
    bool powerUp(uint8_t supplies);
    // The value of the reply to the command just run: the status bits, or the probe's
    // signature. Clears the bits that only the next reply carries.
    uint8_t takeReply();
    // The status bits for a fast-mode packet's reply, which the probe's signature never
    // takes the place of; clears what takeReply() clears.
    uint8_t takeStatus();
    // The reply to kCmdUnitReport, with the supplies measured just now (units of 10 mV).
    void report(uint8_t (&bytes)[kUnitReportSize], uint16_t vppCentivolts, uint16_t vddCentivolts);

    // The ADC reference as calibrated, in millivolts (0: not calibrated), as stored by
    // the unit; kCmdCalibrate sets it. The reference the measurements assume.
    void setCalibration(uint16_t millivolts);
    uint16_t calibration() const { return m_calibration; }
    uint16_t referenceMillivolts() const {
        return m_calibration != 0 ? m_calibration : kNominalReferenceMillivolts;
    }

    bool silent() const { return m_silent; }
    bool powered() const { return m_powered; }
    bool commandPending() const { return m_framer.partial(); }
    uint8_t progTimeMs() const { return m_progTimeMs; }

private:
    enum class Pending : uint8_t { None, Write, Read };

    bool complete(Step& step);
    bool dispatch(uint8_t command, uint8_t low, uint8_t high, Step& step);
    void fallSilent(uint8_t bits);
    void probe(uint8_t milliseconds);

    CommandFramer m_framer;
    bool m_powered = false;
    bool m_lowVoltage = false;
    bool m_silent = false;
    Pending m_pending = Pending::None;
    uint8_t m_pendingCode = 0;
    uint8_t m_progTimeMs = 1;
    uint16_t m_calibration = 0;
    uint32_t m_lastLineMs = 0;
    // Bits for the next reply, and the supply bits of the last power-up.
    uint8_t m_status = 0;
    uint8_t m_supplyStatus = 0;
    bool m_supplyEnds = false; // the next reply, to 103, is the last to carry them
    // The probe: the times of the 111 commands in a row while powered down.
    uint8_t m_probe[3] = {0, 0, 0};
    uint8_t m_probeCount = 0;
    uint8_t m_signature = 0;
};

} // namespace unit
} // namespace tessaline
