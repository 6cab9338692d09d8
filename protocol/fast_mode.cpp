// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/fast_mode.hpp"

namespace tessaline {

uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    crc = static_cast<uint16_t>(crc ^ (static_cast<uint16_t>(byte) << 8));
    for (uint8_t bit = 0; bit < 8; ++bit)
        crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    return crc;
}

uint16_t crc16(const uint8_t* bytes, uint16_t count, uint16_t crc) {
    for (uint16_t i = 0; i < count; ++i)
        crc = crc16Update(crc, bytes[i]);
    return crc;
}

bool PacketReceiver::expire(uint32_t nowMs) {
    if (m_state == kIdle || static_cast<uint32_t>(nowMs - m_lastByteMs) <= kPacketByteGapMs)
        return false;
    m_state = kIdle;
    return true;
}

PacketReceiver::Event PacketReceiver::take(uint8_t byte, uint32_t nowMs) {
    // A packet cut short is bad; the byte that comes after the gap starts anew.
    const Event afterGap = expire(nowMs) ? kBad : kNothing;
    m_lastByteMs = nowMs;
    switch (m_state) {
    case kIdle:
        if (byte != kPacketStart) {
            ++m_stray;
            return afterGap;
        }
        m_stray = 0;
        m_crc = kCrcInitial;
        m_state = kSeq;
        return afterGap;
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
        m_buffer[m_received++] = byte;
        if (m_received == m_length)
            m_state = kCrcLow;
        break;
    case kCrcLow:
        m_crcLow = byte;
        m_state = kCrcHigh;
        return kNothing;
    case kCrcHigh:
        m_state = kIdle;
        if (static_cast<uint16_t>(m_crcLow | byte << 8) != m_crc)
            return kBad;
        return m_seq == kAbortSeq ? kAbort : kPacket;
    }
    m_crc = crc16Update(m_crc, byte);
    return kNothing;
}

ReplyReceiver::Event ReplyReceiver::take(uint8_t byte) {
    switch (m_state) {
    case kIdle:
        if (byte != kReplyStart)
            return kBad;
        m_crc = kCrcInitial;
        m_state = kSeq;
        return kNothing;
    case kSeq:
        m_seq = byte;
        m_state = kCountLow;
        break;
    case kCountLow:
        m_count = byte;
        m_state = kCountHigh;
        break;
    case kCountHigh:
        m_count = static_cast<uint16_t>(m_count | byte << 8);
        m_received = 0;
        m_state = m_count == 0 ? kStatus : kDataBytes;
        break;
    case kDataBytes:
        m_data = byte;
        m_crc = crc16Update(m_crc, byte);
        if (++m_received == m_count)
            m_state = kStatus;
        return kData;
    case kStatus:
        m_status = byte;
        m_state = kCrcLow;
        break;
    case kCrcLow:
        m_crcLow = byte;
        m_state = kCrcHigh;
        return kNothing;
    case kCrcHigh:
        m_state = kIdle;
        return static_cast<uint16_t>(m_crcLow | byte << 8) == m_crc ? kComplete : kBad;
    }
    m_crc = crc16Update(m_crc, byte);
    return kNothing;
}

} // namespace tessaline
