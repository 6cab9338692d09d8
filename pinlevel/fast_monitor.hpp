// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "firmware/unit_batch.hpp"
#include "firmware/unit_logic.hpp"
#include "pinlevel/icsp_pin_decoder.hpp"
#include "protocol/fast_mode.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace tessaline::pinlevel {

// Fast mode on a unit's serial line, held against its pins: the part of ProtocolMonitor
// that judges packets. It reads the host's bytes as the unit must (firmware/unit_batch,
// with the unit's own logic) and the unit's replies, and holds each accepted packet's
// commands against what the pins did while it ran:
// - one reply per packet, after its last byte and after the reply before it; none that
//   no packet asked for, and a good CRC;
// - the pins move only while a packet runs (or ABORT's or a fall-back's power-down);
// - the transfers decoded while a packet runs are its commands', in order: each operand,
//   each read (whose byte the reply carries, never before the read is on the pins), each
//   programming pulse for the programming time, the entry to and exit from programming
//   mode, and pins idle for a WAIT's time;
// - a rejected packet moves nothing and is answered with 80h; the status of every reply
//   is the one the unit's logic gives.
// Times are the unit's clock cycles at 16 MHz.
class FastMonitor {
public:
    using Violation = std::function<void(std::uint64_t cycle, const std::string& text)>;
    using Supplies = std::function<std::uint8_t(std::uint64_t cycle)>;

    FastMonitor(const IcspPinDecoder& decoder, unit::UnitLogic& logic, Supplies supplies,
                Violation violation);

    // ENTER has been answered: fast mode, its first packet seq 0.
    void start(std::uint64_t cycle);
    // Fast mode is on; it goes off after ABORT's or LEAVE's reply, a quiet line or framing
    // errors (then rateLost() says so, and plain mode drops bytes for a while).
    bool on() const { return m_on; }
    bool rateLost() const { return m_rateLost; }

    // A byte from the host in the cycle its stop bit came in, or a garbled one (-1); false
    // when the unit had fallen back to plain mode before it, which then takes it.
    bool byteToUnit(std::uint64_t cycle, int byte);
    void byteFromUnit(std::uint64_t cycle, std::uint8_t byte);
    void frame(const IcspPinDecoder::Frame& frame);
    void pinsChanged(std::uint64_t cycle);
    // The unit's ADC starts a conversion: a power-up's measures the supplies as found,
    // before anything is switched.
    void measuring(std::uint64_t cycle);

    // A packet, ABORT or fall-back under way whose reply or pin work is still due.
    bool busy() const { return m_job != Job::None; }
    std::uint64_t packets() const { return m_packets; }
    std::uint64_t commands() const { return m_commands; }

private:
    enum class Job : std::uint8_t { None, Packet, Rejection, Abort, RateLost };
    enum class Want : std::uint8_t { None, Enter, Leave, Frame, Release };

    void serve(std::uint64_t cycle);
    void startPacket(std::uint8_t slot, std::uint64_t cycle);
    void powerDown(std::uint64_t cycle);
    void advance(std::uint64_t cycle);
    void expectPowerDown(bool completeFrame);
    bool decidePowerUp(std::uint64_t cycle);
    void event(std::uint64_t start, std::uint64_t end, const std::string& what);
    void settle(std::uint64_t cycle);
    void replyComplete(std::uint64_t cycle);
    void finishJob(std::uint64_t cycle);
    std::string jobName() const;
    void violation(std::uint64_t cycle, const std::string& text) { m_violation(cycle, text); }

    const IcspPinDecoder& m_decoder;
    unit::UnitLogic& m_logic;
    Supplies m_supplies;
    Violation m_violation;

    bool m_on = false;
    bool m_rateLost = false;
    unit::PacketInput m_input;
    std::uint8_t m_buffers[2][kMaxPacketPayload] = {};
    ReplyReceiver m_replies;
    std::uint64_t m_lastArrival = 0;         // the cycle the last host byte came in
    std::deque<std::uint64_t> m_readyCycles; // when each packet accepted came in whole
    std::uint64_t m_eventCycle = 0;          // when the rejection, ABORT or rate loss came
    std::uint64_t m_lastReplyEnd = 0;
    std::uint64_t m_packets = 0;
    std::uint64_t m_commands = 0;

    // The job under way, and what the pins must show next.
    Job m_job = Job::None;
    std::uint64_t m_jobStart = 0;
    std::uint8_t m_slot = 0;
    std::uint8_t m_seq = 0;
    unit::PacketRun m_run;
    bool m_runDone = false;
    bool m_replyStarted = false;
    std::uint32_t m_replyBytes = 0;
    std::uint16_t m_readFrames = 0;
    std::uint16_t m_dataSeen = 0;
    std::deque<std::uint8_t> m_readData;
    Want m_want = Want::None;
    IcspPinDecoder::Frame m_wantFrame;
    std::uint64_t m_pulseCycles = 0;
    bool m_leaveAfterFrame = false;
    bool m_powerUpPending = false;
    bool m_measured = false;
    std::uint8_t m_foundSupplies = 0;
    bool m_powered = false; // the unit's logic has the target powered
    std::uint8_t m_code = 0;
    std::uint64_t m_waitCycles = 0;
    std::uint64_t m_lastEventEnd = 0;

    bool m_programMode = false;
    bool m_vdd = false;
    std::uint64_t m_vddRose = 0;
    bool m_movedIdle = false;
};

} // namespace tessaline::pinlevel
