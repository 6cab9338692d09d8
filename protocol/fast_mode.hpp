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
// A payload holds whole commands (CommandSet::Packet): a 4-bit code is never split from
// its operand, and a packet ends where a script's loop pass ends. A packet whose CRC,
// length, sequence number or timing is wrong runs nothing: its reply has kStatusRejected,
// and the unit then takes nothing but ABORT (seq FFh, empty payload), which it takes at any
// time: it finishes the packet it runs, completes a cut core instruction with its NOP
// operand and 20 ms, powers down, answers, and goes back to plain mode at 56000 baud.
// C++14 with <stdint.h> only, for avr-g++ as for the host.

#include "protocol/unit_protocol.hpp"

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

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

// CRC-16/CCITT-FALSE: polynomial 1021h, initial value FFFFh, no reflection.
constexpr uint16_t kCrcInitial = 0xFFFF;
uint16_t crc16Update(uint16_t crc, uint8_t byte);
uint16_t crc16(const uint8_t* bytes, uint16_t count, uint16_t crc = kCrcInitial);

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
    Event take(uint8_t byte, uint32_t nowMs);
    // Time passes with no byte: true when a packet was cut short (it is bad).
    bool expire(uint32_t nowMs);
    // Back to waiting for a packet's first byte.
    void reset() { m_state = kIdle; }

    bool receiving() const { return m_state != kIdle; }
    uint8_t seq() const { return m_seq; }
    uint16_t length() const { return m_length; }
    uint16_t stray() const { return m_stray; }

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

} // namespace tessaline
