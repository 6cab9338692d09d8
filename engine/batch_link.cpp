// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/batch_link.hpp"

#include "engine/byte_port.hpp"
#include "protocol/unit_protocol.hpp"

namespace tessaline {

namespace {

// How long the unit may take to answer a packet, on top of what its commands hold the
// pins for: as long as for one command in plain mode.
constexpr std::int32_t kPacketReplyAllowanceMs = 2000;
// VDD and VPP settle after a power-up before the unit clocks anything.
constexpr std::int32_t kPowerUpMs = 25;
// The header of a reply: start, seq and count.
constexpr int kReplyHeaderSize = 4;

} // namespace

void BatchLink::start() {
    m_open = Packet{};
    m_ready.clear();
    m_inFlight.clear();
    m_nextSeq = 0;
    m_legalEnd = 0;
    m_passStart = 0;
    m_progTimeMs = 0;
    m_aborted = false;
    resetReceiver();
}

void BatchLink::add(const std::uint8_t* bytes, std::size_t count) {
    if (m_open.payload.size() + count > kMaxPacketPayload)
        cutOpen(m_legalEnd);
    m_open.payload.insert(m_open.payload.end(), bytes, bytes + count);
    ++m_open.commands;
    switch (bytes[0]) {
    case kCmdReadByte:
        ++m_open.reads;
        break;
    case kCmdStartProg:
        m_open.runMs += m_progTimeMs;
        break;
    case kCmdProgTime:
        m_progTimeMs = count > 1 ? bytes[1] : 0;
        break;
    case kCmdBeginVddFirst:
    case kCmdBeginVppFirst:
        m_open.runMs += kPowerUpMs;
        break;
    case kOpWait:
        m_open.runMs += count > 2 ? bytes[1] | bytes[2] << 8 : 0;
        break;
    default:
        break;
    }
    if (bytes[0] != kCmdCommandCode)
        m_legalEnd = m_open.payload.size();
}

void BatchLink::addWait(std::int32_t milliseconds) {
    while (milliseconds > 0) {
        const std::int32_t part = milliseconds > 0xFFFF ? 0xFFFF : milliseconds;
        const std::uint8_t wait[] = {kOpWait, static_cast<std::uint8_t>(part & 0xFF),
                                     static_cast<std::uint8_t>(part >> 8)};
        add(wait, sizeof wait);
        milliseconds -= part;
    }
}

void BatchLink::passEnded() {
    const std::size_t size = m_open.payload.size();
    const std::size_t pass = size - m_passStart;
    if (size + pass > kMaxPacketPayload)
        cut();
    m_passStart = m_open.payload.size();
}

void BatchLink::cut() {
    cutOpen(m_legalEnd);
}

// The bytes from `at` on (a 4-bit code and its code, which hold no read, no time and no
// power-up) begin the next packet.
void BatchLink::cutOpen(std::size_t at) {
    if (at == 0)
        return;
    Packet next;
    next.payload.assign(m_open.payload.begin() + static_cast<std::ptrdiff_t>(at),
                        m_open.payload.end());
    next.commands = next.payload.empty() ? 0 : 1;
    m_open.payload.resize(at);
    m_open.commands -= next.commands;
    m_ready.push_back(std::move(m_open));
    m_open = std::move(next);
    m_legalEnd = 0;
    m_passStart = 0;
}

void BatchLink::discardUnsent() {
    discardOpen();
    m_ready.clear();
}

void BatchLink::discardOpen() {
    m_open = Packet{};
    m_legalEnd = 0;
    m_passStart = 0;
}

void BatchLink::write(Packet& packet) {
    packet.seq = m_nextSeq;
    m_nextSeq = nextPacketSeq(m_nextSeq);
    const auto length = static_cast<std::uint16_t>(packet.payload.size());
    m_wire.assign({kPacketStart, packet.seq, static_cast<std::uint8_t>(length & 0xFF),
                   static_cast<std::uint8_t>(length >> 8)});
    m_wire.insert(m_wire.end(), packet.payload.begin(), packet.payload.end());
    const std::uint16_t crc =
        crc16(m_wire.data() + 1, static_cast<std::uint16_t>(m_wire.size() - 1));
    m_wire.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    m_wire.push_back(static_cast<std::uint8_t>(crc >> 8));
    m_port.writeBytes(m_wire.data(), m_wire.size());
    ++m_packetsSent;
}

const BatchLink::Packet& BatchLink::sendReady() {
    m_inFlight.push_back(std::move(m_ready.front()));
    m_ready.pop_front();
    write(m_inFlight.back());
    return m_inFlight.back();
}

const BatchLink::Packet& BatchLink::sendNow(std::initializer_list<std::uint8_t> payload) {
    Packet packet;
    packet.payload = payload;
    packet.commands = static_cast<std::uint32_t>(payload.size() == 0 ? 0 : 1);
    m_inFlight.push_back(std::move(packet));
    write(m_inFlight.back());
    return m_inFlight.back();
}

void BatchLink::sendAbort() {
    const std::uint8_t abort[] = {kPacketStart,
                                  kAbortSeq,
                                  0,
                                  0,
                                  static_cast<std::uint8_t>(kAbortCrc & 0xFF),
                                  static_cast<std::uint8_t>(kAbortCrc >> 8)};
    m_port.writeBytes(abort, sizeof abort);
    m_aborted = true;
    resetReceiver();
}

std::int32_t BatchLink::oldestAllowanceMs() const {
    return kPacketReplyAllowanceMs + (m_inFlight.empty() ? 0 : m_inFlight.front().runMs);
}

std::int32_t BatchLink::runMsInFlight() const {
    std::int32_t total = 0;
    for (const Packet& packet : m_inFlight)
        total += packet.runMs;
    return total;
}

void BatchLink::resetReceiver() {
    m_receiver.reset();
    m_data.clear();
    m_replyBytes = 0;
}

BatchLink::Reply BatchLink::take(std::uint8_t byte) {
    if (m_replyBytes == 0)
        m_data.clear();
    const ReplyReceiver::Event event = m_receiver.take(byte);
    ++m_replyBytes;
    // Once its header is in, a reply must be the one due: the oldest packet's, with a data
    // byte for each of its reads (ABORT's, or any, once ABORT is out).
    if (m_replyBytes == kReplyHeaderSize && !m_aborted &&
        (m_inFlight.empty() || m_receiver.seq() != m_inFlight.front().seq ||
         m_receiver.count() != m_inFlight.front().reads)) {
        resetReceiver();
        return Reply::Bad;
    }
    switch (event) {
    case ReplyReceiver::kNothing:
        return Reply::Partial;
    case ReplyReceiver::kData:
        m_data.push_back(m_receiver.data());
        return Reply::Partial;
    case ReplyReceiver::kComplete:
        m_replyBytes = 0;
        return Reply::Complete;
    case ReplyReceiver::kBad:
        break;
    }
    resetReceiver();
    return Reply::Bad;
}

} // namespace tessaline
