// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/fast_mode.hpp"

namespace tessaline {

uint16_t crc16(const uint8_t* bytes, uint16_t count, uint16_t crc) {
    for (uint16_t i = 0; i < count; ++i)
        crc = crc16Step(crc, bytes[i]);
    return crc;
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
