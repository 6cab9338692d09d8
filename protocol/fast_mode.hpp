// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Fast mode, between the program and a reference unit: after kCmdEnterFast both sides
// switch to a faster rate, and the program sends packets of the very commands it sends in
// plain mode. The unit runs a packet's commands as it runs them one by one and answers
// each packet with one reply: the data bytes of its reads, the OR of their status bits and
// a CRC. Two packets are in flight, so the unit receives one while it runs the other.
//
//   packet  A5 seq lenLo lenHi payload crcLo crcHi   CRC over seq .. the payload's end
//   reply   5A seq nLo nHi data... status crcLo crcHi CRC over seq .. status
//
// A payload holds whole commands (CommandSet::Packet), LEAVE only as its last: a 4-bit
// code is never split from its operand, and a packet ends where a script's loop pass ends.
// The unit takes the bytes in order. Every packet it accepts runs, in order, and is
// answered in its turn; its reply's header goes out once its last byte is in, and its
// data bytes as its reads complete.
//
// A packet whose CRC, length, payload or sequence number is wrong, that is cut short
// (kPacketByteGapMs), or that finds both of the unit's buffers taken, is rejected: it runs
// nothing, and is answered `5A seq 00 00 80 crc` (the seq as it came). A command that the
// unit refuses while a packet runs (the refusals of plain mode: bad supplies, a command
// out of order) ends that packet: its later commands are skipped, every read that did not
// run gives 00h, and the status carries the refusal's bits; packets accepted behind it do
// not run and get no reply. After either, the unit takes nothing but ABORT (seq FFh, empty
// payload), which it takes at any time: once the packets accepted before it have run, it
// completes a cut core instruction with its NOP operand and 20 ms, powers down, answers
// `5A FF 00 00 status crc` and goes back to plain mode at 56000 baud. So after an ABORT the
// program skips every reply until the one with seq FFh.
//
// The unit also goes back to plain mode at 56000 baud after LEAVE's reply (powered down
// first if it was powered), after kFastQuietMs of quiet while powered down, and when
// framing errors say that the program talks at another rate (then it powers down, and
// drops what comes until the line has been quiet for kFastResyncMs).
// C++14 with <stdint.h> only, for avr-g++ as for the host.

#include "protocol/unit_protocol.hpp"

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>
#if defined(__AVR__)
#include <util/crc16.h>
#endif

namespace tessaline {

constexpr uint8_t kFastModeVersion = 1;

// The rates kCmdEnterFast asks for, by index; the reply's mask has bit i for rate i.
enum FastRate : uint8_t {
    kRate56000,
    kRate250000,
    kRate500000,
    kRate1000000,
    kRate2000000,
    kFastRateCount
};

constexpr uint32_t fastRateBaud(uint8_t rate) {
    return rate == kRate250000    ? 250000UL
           : rate == kRate500000  ? 500000UL
           : rate == kRate1000000 ? 1000000UL
           : rate == kRate2000000 ? 2000000UL
                                  : 56000UL;
}

constexpr uint8_t kPacketStart = 0xA5;
constexpr uint8_t kReplyStart = 0x5A;
constexpr uint8_t kAbortSeq = 0xFF; // sequence numbers run 0 .. FEh, then 0 again
constexpr uint16_t kMaxPacketPayload = 512;
constexpr uint8_t kPacketHeaderSize = 4; // start, seq, length
constexpr uint8_t kPacketTrailerSize = 2;
// A packet whose next byte does not come within this time is cut short: it runs nothing.
constexpr uint16_t kPacketByteGapMs = 50;
// In a packet reply's status: the packet was rejected and nothing of it ran.
constexpr uint8_t kStatusRejected = 0x80;

constexpr uint8_t nextPacketSeq(uint8_t seq) {
    return static_cast<uint8_t>(seq >= kAbortSeq - 1 ? 0 : seq + 1);
}

// Fast mode ends by itself after this much quiet while the unit is powered down, and after
// kFastFramingErrors framing errors within kFastFramingWindowMs (bytes sent at a slower
// rate); input is then dropped until the line has been quiet for kFastResyncMs (bytes sent
// at a faster rate can decode as anything, a 101 among them).
constexpr uint16_t kFastQuietMs = 1000;
constexpr uint8_t kFastFramingErrors = 2;
constexpr uint8_t kFastFramingWindowMs = 2;
constexpr uint8_t kFastResyncMs = 100;

// CRC-16/CCITT-FALSE: polynomial 1021h, initial value FFFFh, no reflection. A byte at a
// time without a table: the unit runs it for every byte it receives.
constexpr uint16_t kCrcInitial = 0xFFFF;
constexpr uint16_t crc16Step(uint16_t crc, uint8_t byte) {
    uint8_t x = static_cast<uint8_t>((crc >> 8) ^ byte);
    x = static_cast<uint8_t>(x ^ (x >> 4));
    return static_cast<uint16_t>((crc << 8) ^ (static_cast<uint16_t>(x) << 12) ^
                                 (static_cast<uint16_t>(x) << 5) ^ x);
}
// avr-libc's XMODEM update is the same polynomial, bit order and step, in 18 cycles, and
// inline in the receive path.
#if defined(__AVR__)
__attribute__((always_inline))
#endif
inline uint16_t
crc16Update(uint16_t crc, uint8_t byte) {
#if defined(__AVR__)
    return _crc_xmodem_update(crc, byte);
#else
    return crc16Step(crc, byte);
#endif
}
uint16_t crc16(const uint8_t* bytes, uint16_t count, uint16_t crc = kCrcInitial);

// The ABORT packet's CRC: over FFh 00h 00h.
constexpr uint16_t kAbortCrc = crc16Step(crc16Step(crc16Step(kCrcInitial, kAbortSeq), 0), 0);

// The unit's side: takes the bytes of packets one by one into a buffer of the caller's
// (the firmware fills one while it runs the other).
class PacketReceiver {
public:
    enum Event : uint8_t {
        kNothing, // a byte of a packet whose end has not come, or a stray byte between
                  // packets (stray() counts them)
        kPacket,  // a whole packet with a good CRC: seq(), length() and the buffer
        kAbort,   // the ABORT packet
        kBad,     // a packet cut short, too long for the buffer or with a wrong CRC
    };

    // Where the next packet's payload goes, and how much it may hold.
    void setBuffer(uint8_t* buffer, uint16_t capacity) {
        m_buffer = buffer;
        m_capacity = capacity;
    }
    // A byte at `nowMs` of the unit's millisecond count.
    inline Event take(uint8_t byte, uint32_t nowMs);
    // A byte of a batch that came together, for a caller that first calls expire() and
    // touch() with the batch's time. Inline: the unit runs it for every byte.
    inline Event take(uint8_t byte);
    void touch(uint32_t nowMs) { m_lastByteMs = nowMs; }
    // The payload bytes of a batch, as take(byte) would take them, for as long as the
    // payload is under way and `source(byte)` gives one: the unit's fast path, which keeps
    // the buffer's place and the CRC in registers.
    template <typename Source> void takePayload(Source& source);
    // Time passes with no byte: true when a packet was cut short (it is bad).
    inline bool expire(uint32_t nowMs);
    // Back to waiting for a packet's first byte.
    void reset() { m_state = kIdle; }

    bool receiving() const { return m_state != kIdle; }
    uint8_t seq() const { return m_seq; }
    uint16_t length() const { return m_length; }
    uint16_t stray() const { return m_stray; }
    // The last kBad was a whole packet whose CRC did not match.
    bool badCrc() const { return m_badCrc; }

private:
    enum State : uint8_t { kIdle, kSeq, kLengthLow, kLengthHigh, kPayload, kCrcLow, kCrcHigh };

    uint8_t* m_buffer = nullptr;
    uint16_t m_capacity = 0;
    State m_state = kIdle;
    uint8_t m_seq = 0;
    uint16_t m_length = 0;
    uint16_t m_received = 0;
    uint16_t m_crc = kCrcInitial;
    uint8_t m_crcLow = 0;
    uint16_t m_stray = 0;
    uint32_t m_lastByteMs = 0;
    bool m_badCrc = false;
};

// The program's side: takes the bytes of the unit's replies one by one.
class ReplyReceiver {
public:
    enum Event : uint8_t {
        kNothing,  // a byte of the header, the status or the CRC
        kData,     // a data byte: data()
        kComplete, // a whole reply with a good CRC: seq(), count(), status()
        kBad,      // a reply with a wrong CRC, or a byte where a reply must start
    };

    Event take(uint8_t byte);
    void reset() { m_state = kIdle; }

    bool receiving() const { return m_state != kIdle; }
    uint8_t seq() const { return m_seq; }
    uint16_t count() const { return m_count; }
    uint8_t data() const { return m_data; }
    uint8_t status() const { return m_status; }

private:
    enum State : uint8_t {
        kIdle,
        kSeq,
        kCountLow,
        kCountHigh,
        kDataBytes,
        kStatus,
        kCrcLow,
        kCrcHigh
    };

    State m_state = kIdle;
    uint8_t m_seq = 0;
    uint16_t m_count = 0;
    uint16_t m_received = 0;
    uint8_t m_data = 0;
    uint8_t m_status = 0;
    uint16_t m_crc = kCrcInitial;
    uint8_t m_crcLow = 0;
};

bool PacketReceiver::expire(uint32_t nowMs) {
    if (m_state == kIdle || static_cast<uint32_t>(nowMs - m_lastByteMs) <= kPacketByteGapMs)
        return false;
    m_state = kIdle;
    return true;
}

PacketReceiver::Event PacketReceiver::take(uint8_t byte, uint32_t nowMs) {
    // A packet cut short is bad; the byte that comes after the gap starts anew.
    const bool cut = expire(nowMs);
    m_lastByteMs = nowMs;
    const Event event = take(byte);
    return cut ? kBad : event;
}

template <typename Source> void PacketReceiver::takePayload(Source& source) {
    if (m_state != kPayload)
        return;
    uint8_t* at = m_buffer + m_received;
    uint8_t* const end = m_buffer + m_length;
    uint16_t crc = m_crc;
    uint8_t byte = 0;
    while (at != end && source(byte)) {
        crc = crc16Update(crc, byte);
        *at++ = byte;
    }
    m_crc = crc;
    m_received = static_cast<uint16_t>(at - m_buffer);
    if (at == end)
        m_state = kCrcLow;
}

PacketReceiver::Event PacketReceiver::take(uint8_t byte) {
    // The payload's bytes first: they are nearly all of them.
    if (m_state == kPayload) {
        m_crc = crc16Update(m_crc, byte);
        m_buffer[m_received++] = byte;
        if (m_received == m_length)
            m_state = kCrcLow;
        return kNothing;
    }
    switch (m_state) {
    case kIdle:
        if (byte != kPacketStart) {
            ++m_stray;
            return kNothing;
        }
        m_stray = 0;
        m_badCrc = false;
        m_crc = kCrcInitial;
        m_state = kSeq;
        return kNothing;
    case kSeq:
        m_seq = byte;
        m_state = kLengthLow;
        break;
    case kLengthLow:
        m_length = byte;
        m_state = kLengthHigh;
        break;
    case kLengthHigh:
        m_length = static_cast<uint16_t>(m_length | byte << 8);
        m_received = 0;
        if (m_length > kMaxPacketPayload || m_length > m_capacity ||
            (m_seq == kAbortSeq && m_length != 0)) {
            m_state = kIdle;
            return kBad;
        }
        m_state = m_length == 0 ? kCrcLow : kPayload;
        break;
    case kPayload:
        break;
    case kCrcLow:
        m_crcLow = byte;
        m_state = kCrcHigh;
        return kNothing;
    case kCrcHigh:
        m_state = kIdle;
        m_badCrc = static_cast<uint16_t>(m_crcLow | byte << 8) != m_crc;
        if (m_badCrc)
            return kBad;
        return m_seq == kAbortSeq ? kAbort : kPacket;
    }
    m_crc = crc16Update(m_crc, byte);
    return kNothing;
}

} // namespace tessaline
