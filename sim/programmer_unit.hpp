// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "firmware/unit_batch.hpp"
#include "firmware/unit_logic.hpp"
#include "protocol/command_framer.hpp"
#include "sim/pic18_chip.hpp"
#include "sim/sim_clock.hpp"
#include "sim/unit_supplies.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::sim {

// The programmer unit's firmware: it takes command bytes 100 to 111 with their arguments,
// drives the chip's programming pins, and answers every command with one reply byte (two
// after a read, the data first). It is an original unit, whose every reply is 00h, unless
// made a reference unit: then the reference firmware's own logic (firmware/unit_logic)
// decides, with its status bits, its silence after a refusal, the probe's signature, the
// unit report and the calibration, its supply check on the given supplies, and fast mode
// (firmware/unit_batch): ENTER, packets run as they come in, their replies, rejections,
// ABORT, LEAVE and the fall-backs to plain mode.
class ProgrammerUnit {
public:
    ProgrammerUnit(Pic18Chip& chip, SimClock& clock);

    // Makes this a reference unit with these supplies and jumpers.
    void makeReference(const UnitSupplies& supplies);
    bool reference() const { return m_reference; }

    // One byte from the host; returns the reply bytes it causes.
    std::vector<std::uint8_t> receive(std::uint8_t byte);
    // A byte from the host that came in with a framing error (sent at another rate than
    // the unit's): a reference unit's receive error.
    std::vector<std::uint8_t> receiveGarbled();
    // Time passes with no byte: a fast-mode packet cut short is rejected, and a quiet line
    // ends fast mode. Returns the reply bytes that causes.
    std::vector<std::uint8_t> tick();

    // The rate the unit's line runs at once the bytes returned so far are out: 56000 baud,
    // in fast mode the rate negotiated. The bytes one call returns go at the rate in force
    // before the call (ENTER's reply at 56000, ABORT's at the fast rate).
    std::int32_t baud() const;
    bool fastMode() const { return m_fast; }

    // After this many commands the unit takes nothing more, neither answers nor drives the
    // chip (a hung or unplugged unit); negative: never.
    std::int64_t muteAfter = -1;
    // The reply to this command (counting from 1) is followed by one byte that no command
    // asked for; negative: none.
    std::int64_t strayAfter = -1;
    // No chip in the socket: the unit answers as ever, nothing reaches a chip, and every
    // read gives 00h.
    bool emptySocket = false;
    // A reference unit's line: the Nth byte from the host (counting from 1) is lost, or
    // comes in with a framing error; 0: none.
    std::int64_t dropByte = 0;
    std::int64_t garbleByte = 0;

    // The simulator ends: a chip that still has its programming voltages was left so by
    // the program that drove the unit, unless the run wants that.
    void programEnded(bool poweredAllowed);

    std::int64_t commandCount() const { return m_commands; }
    // The last byte that reached the unit, whether or not it took it.
    std::uint8_t lastByte() const { return m_lastByte; }
    std::int32_t progTimeMs() const { return m_progTimeMs; }
    const std::vector<std::string>& violations() const { return m_violations; }
    // The unit's and the chip's violations together.
    std::vector<std::string> allViolations() const;

private:
    std::vector<std::uint8_t> execute();
    std::vector<std::uint8_t> receiveAsReference(int byte);
    std::vector<std::uint8_t> run(const unit::Step& step);
    bool perform(const unit::Step& step, std::uint8_t& data);
    std::vector<std::uint8_t> receiveFast(int byte, std::uint32_t nowMs);
    std::vector<std::uint8_t> serveFast(std::uint32_t nowMs);
    void runPacket(std::uint8_t slot, std::vector<std::uint8_t>& out);
    void powerDownFast();
    void leaveFast();
    std::uint32_t nowMs() const;
    std::uint8_t supplyCheck() const;
    std::uint16_t measured(int millivolts) const;
    void violation(const std::string& text) { m_violations.push_back(text); }

    Pic18Chip& m_chip;
    SimClock& m_clock;
    CommandFramer m_framer;
    std::uint8_t m_lastByte = 0;
    int m_commandCode = -1; // a 4-bit command waiting for its operand
    std::int32_t m_progTimeMs = 1;
    std::int64_t m_commands = 0;
    std::vector<std::string> m_violations;

    bool m_reference = false;
    unit::UnitLogic m_logic;
    UnitSupplies m_supplies;
    std::int64_t m_bytes = 0;
    bool m_lineFault = false; // a byte was dropped or garbled on purpose, or came at
                              // another rate
    bool m_otherRate = false; // the last byte came at another rate

    // Fast mode: on, and its rate.
    bool m_fast = false;
    std::uint8_t m_rate = kRate56000;
    unit::PacketInput m_input;
    std::uint8_t m_buffers[2][kMaxPacketPayload] = {};
    unit::LineResync m_resync;
};

} // namespace tessaline::sim
