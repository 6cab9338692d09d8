// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "firmware/unit_batch.hpp"
#include "firmware/unit_logic.hpp"
#include "pinlevel/fast_monitor.hpp"
#include "pinlevel/icsp_pin_decoder.hpp"
#include "pinlevel/unit_board.hpp"
#include "protocol/unit_protocol.hpp"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tessaline::pinlevel {

// Watches a unit's serial line and its pins together. The pacing rule: exactly one reply
// per command (two after a read, a report's whole), only after the command's last byte,
// nothing unasked; and no line moves between a reply and the next command's last byte.
// Each reply must also find the pins where its command leaves them: the chip in
// programming mode after a power-up and unpowered after a power-down, the 4-bit command
// clocked, the transfer completed with its operand, the programming pulse held for the
// programming time, the byte that the chip shifted out in the reply; and carry the status
// the unit's logic gives it. A refusal must bring silence: no reply, and the target left
// as it was (no VPP on MCLR, no clock) until the end command. Whether the supplies refuse
// a power-up the monitor works out from what the board feeds the sense inputs, as the
// unit's ADC reads it. After ENTER, FastMonitor judges the packets of fast mode, until the
// unit is back in plain mode. Times are the unit's clock cycles at 16 MHz.
class ProtocolMonitor {
public:
    ProtocolMonitor(const IcspPinDecoder& decoder, const UnitBoard& board);

    // A byte from the host, in the cycle its stop bit has come in.
    void byteToUnit(std::uint64_t cycle, std::uint8_t byte);
    // A byte from the host that came in garbled (a framing error), or that was lost.
    void garbledToUnit(std::uint64_t cycle);
    void byteLost() { m_lineFault = true; }
    // A byte from the unit, in the cycle it starts out.
    void byteFromUnit(std::uint64_t cycle, std::uint8_t byte);
    // Any ICSP line or supply changed.
    void pinsChanged(std::uint64_t cycle);
    // The unit measures for `cycles` from `cycle` on: work, as pin work is.
    void measuring(std::uint64_t cycle, std::uint64_t cycles);
    // A transfer the pin decoder completed.
    void frameDecoded(const IcspPinDecoder::Frame& frame);

    // Replies the last command, or the packet under way, still owes.
    int repliesDue() const { return m_repliesDue + (m_fast.busy() ? 1 : 0); }
    // Commands the unit ran, in plain mode and in packets.
    std::uint64_t commands() const { return m_commands + m_fast.commands(); }
    bool fastMode() const { return m_fast.on(); }
    std::uint64_t packets() const { return m_fast.packets(); }
    // The unit's own time per command: from the command's last byte to its reply, less
    // the time its pins and its ADC were busy.
    std::uint64_t ownCyclesTotal() const { return m_ownTotal; }
    std::uint64_t ownCyclesMax() const { return m_ownMax; }

    const std::vector<std::string>& violations() const { return m_violations; }

private:
    void violation(std::uint64_t cycle, const std::string& text);
    struct Arrival {
        std::uint64_t cycle;
        int byte; // or kGarbled
    };
    static constexpr int kGarbled = -1;
    void arrive(const Arrival& arrival);
    void take(const Arrival& arrival, std::uint64_t cycle);
    void accept(std::uint64_t cycle, const unit::Step& step);
    std::uint16_t measured(int senseMillivolts, unit::Sense input) const;
    std::uint8_t supplies(std::uint64_t cycle) const;
    void checkPins(std::uint64_t cycle, std::uint8_t firstReply);
    void checkReply(std::uint64_t cycle, int index, std::uint8_t byte);
    bool inFast() const { return m_fast.on() || m_fast.busy(); }
    void afterFast(std::uint64_t cycle);

    const IcspPinDecoder& m_decoder;
    const UnitBoard& m_board;
    // The protocol as the unit must read it, partial-command timeout and silence included.
    unit::UnitLogic m_reference;
    std::vector<std::string> m_violations;

    std::deque<Arrival> m_waiting; // bytes that came while a reply was due
    bool m_lineFault = false;      // a byte was lost or garbled on the line
    unit::Step m_step;
    int m_repliesDue = 0;
    int m_replyIndex = 0;
    std::uint8_t m_expected[kUnitReportSize] = {};
    bool m_answered = false; // a reply has gone out since the last command's last byte
    bool m_movedAfterReply = false;
    bool m_touchedWhileSilent = false;
    IcspNets m_nets; // the lines as the last change left them
    std::uint64_t m_commands = 0;
    std::uint64_t m_commandEnd = 0;
    std::uint64_t m_framesBefore = 0;
    bool m_moved = false;
    bool m_busy = false;
    std::uint64_t m_firstBusy = 0;
    std::uint64_t m_lastBusy = 0;
    std::uint64_t m_ownTotal = 0;
    std::uint64_t m_ownMax = 0;

    FastMonitor m_fast;
    bool m_fastWasOn = false;
    unit::LineResync m_resync;
};

} // namespace tessaline::pinlevel
