// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reference unit's fast mode as its firmware runs it (protocol/fast_mode.hpp): packets
// taken into two buffers while one runs, sequence numbers, rejections, ABORT, the packet's
// commands run one by one through UnitLogic, and the reply with its CRC. Like UnitLogic it
// does no input or output of its own, so the same code runs on the ATmega328P (the receive
// side between its commands and while it waits), in the simulated reference unit and in the host's
// tests. C++14 with <stdint.h> only.
//
// The rules, beyond the protocol's:
// - Every packet accepted runs, in the order it came, and is answered in its turn; a
//   rejection is answered in its turn too, after the packets accepted before it.
// - After a rejection, or a command refused while a packet runs, the unit runs nothing
//   and answers nothing but ABORT, which it finds in any bytes: A5 FF 00 00 and its CRC.
//   Packets accepted but not started when a command is refused are dropped unanswered.
// - ABORT is taken once the packets accepted before it have run: a core instruction cut
//   after its 4-bit code is completed with a NOP operand and 20 ms, the unit powers down
//   (if powered), answers, and is in plain mode at 56000 baud.
// - LEAVE, the last command of its packet, powers down if the unit is powered; after the
//   packet's reply the unit is in plain mode at 56000 baud.
// - kFastQuietMs with no byte while the unit is powered down and has nothing to run:
//   plain mode at 56000 baud.
// - kFastFramingErrors framing errors within kFastFramingWindowMs: once the packets
//   accepted have run, the unit powers down if powered, goes to plain mode at 56000 baud,
//   silent as after any receive error (the next 103 after a quiet line ends it), and
//   drops every byte until the line has been quiet for kFastResyncMs.

#include "firmware/fault_builds.hpp"
#include "firmware/unit_logic.hpp"
#include "protocol/fast_mode.hpp"
#include "protocol/unit_protocol.hpp"

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

namespace tessaline {
namespace unit {

// The rates this unit answers ENTER with: its UART at 16 MHz divides all of them exactly
// but 56000 (-0.8 %), and its receive interrupt keeps up with 1,000,000 baud, not with
// 2,000,000.
constexpr uint8_t kFastRateMask =
    (1 << kRate56000) | (1 << kRate250000) | (1 << kRate500000) | (1 << kRate1000000);

// The UART's rate register (with U2X, so 8 cycles of 16 MHz per count) for a FastRate.
constexpr uint8_t fastRateRegister(uint8_t rate) {
    return rate == kRate250000    ? 7
           : rate == kRate500000  ? 3
           : rate == kRate1000000 ? 1
           : rate == kRate2000000 ? 0
                                  : 35;
}

// Whether ENTER's rate is one this unit switches to; otherwise it answers and stays in
// plain mode.
constexpr bool fastRateTaken(uint8_t rate) {
    return rate < kFastRateCount && (kFastRateMask >> rate & 1) != 0;
}

// One command of a payload with its argument bytes (0 where it has none).
struct Op {
    uint8_t command = 0;
    uint8_t low = 0;
    uint8_t high = 0;
    uint16_t operand() const { return static_cast<uint16_t>(low | high << 8); }
};

// Whether a payload holds whole commands of CommandSet::Packet with LEAVE only as its
// last, and how many reads (110) it holds. `between`, if given, is called after every
// kCheckStride commands: a 512-byte payload takes the AVR about 1 ms to check, in which
// 100 bytes of the next packet come at 1,000,000 baud.
constexpr uint8_t kCheckStride = 16;
bool checkPayload(const uint8_t* payload, uint16_t length, uint16_t& reads,
                  void (*between)() = nullptr);

// The unit's receive side in fast mode: bytes in, packets into the two buffers. On the
// AVR the receive interrupt only queues the bytes with their error bits, and the main loop
// hands them to arrived(), take(), takePayload() and lineError() between commands and
// while it waits, so the next packet comes in while one runs.
class PacketInput {
public:
    static constexpr uint8_t kNone = 0xFF;

    // A new fast-mode session: both buffers free, the first packet's seq 0.
    void start(uint8_t* first, uint8_t* second, uint16_t capacity, uint32_t nowMs);

    // A byte from the line at `nowMs`, or one that came garbled (`framing`: a framing
    // error, which counts towards the rate check; else an overrun or a full buffer).
    void take(uint8_t byte, uint32_t nowMs) {
        arrived(nowMs);
        take(byte);
    }
    inline void lineError(bool framing, uint32_t nowMs);
    // Bytes came at `nowMs`, to be taken one by one with take(byte): the firmware takes
    // each batch that waited while it worked the pins at once.
    void arrived(uint32_t nowMs);
    inline void take(uint8_t byte);
    // The payload bytes of such a batch, while a payload is under way and `source(byte)`
    // gives one (PacketReceiver::takePayload); then take(byte) goes on.
    template <typename Source> void takePayload(Source& source) {
        if (!m_blocked && !m_aborted && !m_rateLost)
            m_receiver.takePayload(source);
    }
    // Time passes: a packet whose bytes stopped coming is rejected.
    void expire(uint32_t nowMs);

    // The buffer of the oldest accepted packet not yet run, now running; kNone when none
    // waits.
    uint8_t nextPacket();
    const uint8_t* payload(uint8_t slot) const { return m_buffers[slot]; }
    uint16_t length(uint8_t slot) const { return m_slots[slot].length; }
    uint8_t seq(uint8_t slot) const { return m_slots[slot].seq; }
    // The packet in that buffer has run: the buffer takes the next packet.
    void finished(uint8_t slot);
    // A command refused, or a packet rejected as it was about to run: nothing runs from
    // now on, the packets waiting are dropped, and only ABORT is taken.
    void block();

    // What ends the packets: a rejection to answer (once every packet accepted before it
    // has run), ABORT, or framing errors that say the program talks at another rate.
    bool rejectionDue(uint8_t& seq);
    bool abortDue() const { return m_aborted && m_queued == 0; }
    bool rateLost() const { return m_rateLost && m_queued == 0; }
    bool idle() const { return m_queued == 0 && !m_rejected && !m_aborted && !m_rateLost; }
    // Packets accepted and not yet run; a rejection or ABORT taken and not yet answered.
    uint8_t queued() const { return m_queued; }
    bool rejectionPending() const { return m_rejected; }
    bool abortPending() const { return m_aborted; }
    bool blocked() const { return m_blocked; }
    // A reply went out: the line was not quiet.
    void replied(uint32_t nowMs) { m_lastActiveMs = nowMs; }
    // kFastQuietMs without a byte or a reply, powered down, with nothing to run.
    bool quietFallbackDue(bool powered, uint32_t nowMs) const;

private:
    enum SlotState : uint8_t { kFree, kFilling, kReady, kRunning };
    struct Slot {
        SlotState state = kFree;
        uint8_t seq = 0;
        uint16_t length = 0;
    };

    inline void packet();
    inline void reject();
    inline void scan(uint8_t byte);
    inline void fill(uint8_t slot);

    PacketReceiver m_receiver;
    uint8_t* m_buffers[2] = {nullptr, nullptr};
    uint16_t m_capacity = 0;
    Slot m_slots[2];
    uint8_t m_filling = kNone; // the buffer the receiver fills
    uint8_t m_queue[2] = {kNone, kNone};
    uint8_t m_queued = 0;
    uint8_t m_expectedSeq = 0;
    bool m_blocked = false;
    bool m_rejected = false;
    uint8_t m_rejectedSeq = 0;
    bool m_aborted = false;
    bool m_rateLost = false;
    uint8_t m_abortMatched = 0; // bytes of ABORT found in a row while blocked
    uint8_t m_framingErrors = 0;
    uint32_t m_firstFramingErrorMs = 0;
    uint32_t m_lastActiveMs = 0;
};

// After framing errors ended fast mode: plain mode drops every byte (and every garbled
// one) until the line has been quiet for kFastResyncMs.
class LineResync {
public:
    void start(uint32_t nowMs) {
        m_on = true;
        m_lastMs = nowMs;
    }
    // A byte, or a garbled one, at `nowMs`: true when it is dropped.
    bool drop(uint32_t nowMs);
    bool on() const { return m_on; }

private:
    bool m_on = false;
    uint32_t m_lastMs = 0;
};

// One packet as it runs: its commands one by one, through UnitLogic. The caller does the
// pin work of every step, streams each read's byte, and ends with the status.
class PacketRun {
public:
    enum Next : uint8_t {
        kCommand, // run `step` on the pins (a power-up: then UnitLogic::powerUp decides)
        kWait,    // leave the pins idle for waitMs()
        kLeave,   // the packet's last command: plain mode once the reply is out; if the
                  // unit is powered, `step` is its power-down, to be run on the pins
        kDone,    // the packet has run, or a command was refused (refused())
    };

    // Checks the payload (checkPayload, with `between`); false: it is rejected and nothing
    // runs.
    bool start(const uint8_t* payload, uint16_t length, void (*between)() = nullptr);
    uint16_t reads() const { return m_reads; }
    Next next(UnitLogic& logic, Step& step);
    uint16_t waitMs() const { return m_waitMs; }
    // The power-up of the last kCommand was refused by UnitLogic::powerUp.
    void refuse() { m_refused = true; }
    bool refused() const { return m_refused; }
    bool leaving() const { return m_leaving; }
    // The command next() gave was the packet's last.
    bool atEnd() const { return m_at >= m_length; }

private:
    const uint8_t* m_payload = nullptr;
    uint16_t m_length = 0;
    uint16_t m_at = 0;
    uint16_t m_reads = 0;
    uint16_t m_waitMs = 0;
    bool m_refused = false;
    bool m_leaving = false;
};

// A reply's bytes with their CRC, handed to `sink(byte)` as they are due: the header at
// once, each read's byte as it completes, then the status and the CRC. A reply whose
// reads did not all run (a refusal) gets 00h for each that did not.
template <typename Sink> class ReplyWriter {
public:
    explicit ReplyWriter(Sink& sink) : m_sink(sink) {}

    void begin(uint8_t seq, uint16_t count) {
        m_crc = kCrcInitial;
        m_due = count;
        m_sink(kReplyStart);
        put(seq);
        put(static_cast<uint8_t>(count));
        put(static_cast<uint8_t>(count >> 8));
    }
    void data(uint8_t byte) {
        if (m_due == 0)
            return;
        --m_due;
        put(byte);
    }
    void end(uint8_t status) {
        while (m_due > 0)
            data(0x00);
        put(status);
        const uint16_t crc = m_crc;
        m_sink(static_cast<uint8_t>(crc));
        m_sink(static_cast<uint8_t>(crc >> 8));
    }

private:
    void put(uint8_t byte) {
        m_crc = crc16Update(m_crc, byte);
        m_sink(byte);
    }

    Sink& m_sink;
    uint16_t m_crc = kCrcInitial;
    uint16_t m_due = 0;
};

// The receive side's byte path, inline: the AVR runs it for every byte that is not a
// payload's, at 1,000,000 baud one every 160 cycles.

void PacketInput::take(uint8_t byte) {
    if (m_aborted || m_rateLost)
        return;
    if (m_blocked) {
        scan(byte);
        return;
    }
    switch (m_receiver.take(byte)) {
    case PacketReceiver::kNothing:
        return;
    case PacketReceiver::kPacket:
        packet();
        return;
    case PacketReceiver::kAbort:
        m_aborted = true;
        return;
    case PacketReceiver::kBad:
        if (faulty(Fault::FastExecBadCrc) && m_receiver.badCrc()) {
            packet();
            return;
        }
        reject();
        return;
    }
}

void PacketInput::lineError(bool framing, uint32_t nowMs) {
    m_lastActiveMs = nowMs;
    if (framing) {
        if (m_framingErrors == 0 ||
            static_cast<uint32_t>(nowMs - m_firstFramingErrorMs) > kFastFramingWindowMs) {
            m_framingErrors = 0;
            m_firstFramingErrorMs = nowMs;
        }
        if (++m_framingErrors >= kFastFramingErrors && !faulty(Fault::FastNoFallback))
            m_rateLost = true;
    }
    if (m_aborted || m_rateLost)
        return;
    if (m_blocked) {
        m_abortMatched = 0;
        return;
    }
    // The packet under way, or the start of the next, lost a byte.
    m_receiver.reset();
    reject();
}

void PacketInput::reject() {
    m_rejected = true;
    m_rejectedSeq = m_receiver.seq();
    m_blocked = true;
    m_abortMatched = 0;
}

// A5 FF 00 00 crcLo crcHi; no byte of it but the first is A5, so a mismatch starts anew.
void PacketInput::scan(uint8_t byte) {
    static const uint8_t kAbort[] = {kPacketStart,
                                     kAbortSeq,
                                     0,
                                     0,
                                     static_cast<uint8_t>(kAbortCrc & 0xFF),
                                     static_cast<uint8_t>(kAbortCrc >> 8)};
    if (byte == kAbort[m_abortMatched])
        ++m_abortMatched;
    else
        m_abortMatched = byte == kPacketStart ? 1 : 0;
    if (m_abortMatched == sizeof kAbort)
        m_aborted = true;
}

// The buffer that the receiver fills next; kNone: no buffer is free, and a packet that
// comes is rejected.
void PacketInput::fill(uint8_t slot) {
    m_filling = slot;
    if (slot == kNone) {
        m_receiver.setBuffer(nullptr, 0);
        return;
    }
    m_slots[slot].state = kFilling;
    m_receiver.setBuffer(m_buffers[slot], m_capacity);
}

void PacketInput::packet() {
    const uint8_t slot = m_filling;
    if (m_receiver.seq() != m_expectedSeq || slot == kNone || m_queued == 2) {
        reject();
        return;
    }
    m_slots[slot].state = kReady;
    m_slots[slot].seq = m_receiver.seq();
    m_slots[slot].length = m_receiver.length();
    m_queue[m_queued++] = slot;
    m_expectedSeq = nextPacketSeq(m_expectedSeq);
    const auto other = static_cast<uint8_t>(faulty(Fault::FastOverwriteBuffer) ? slot : 1 - slot);
    if (faulty(Fault::FastOverwriteBuffer) || m_slots[other].state == kFree)
        fill(other);
    else
        fill(kNone);
}

} // namespace unit
} // namespace tessaline
