// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/unit_batch.hpp"

namespace tessaline {
namespace unit {

namespace {

// A command's bytes in a payload, its own and its arguments'; 0 for a byte that is none.
constexpr uint8_t packetSize(uint8_t command) {
    return isUnitCommand(command, CommandSet::Packet)
               ? static_cast<uint8_t>(1 + unitArgumentCount(command))
               : 0;
}

// The same for the plain commands, by command - kCmdNop: a lookup, for the check runs over
// every byte of every packet before it runs.
constexpr uint8_t kPlainSizes[] = {
    packetSize(100), packetSize(101), packetSize(102), packetSize(103),
    packetSize(104), packetSize(105), packetSize(106), packetSize(107),
    packetSize(108), packetSize(109), packetSize(110), packetSize(111),
};
static_assert(kCmdNop == 100 && kCmdProgTime == 111, "the table's commands");

#if defined(__AVR__)
__attribute__((always_inline))
#endif
inline uint8_t
sizeAt(const uint8_t* payload, uint16_t at, uint16_t length) {
    const uint8_t command = payload[at];
    const auto index = static_cast<uint8_t>(command - kCmdNop);
    if (index < sizeof kPlainSizes)
        return kPlainSizes[index];
    // LEAVE only as the payload's last command.
    if (command == kOpLeave)
        return at + 1 == length ? 1 : 0;
    return packetSize(command);
}

} // namespace

bool checkPayload(const uint8_t* payload, uint16_t length, uint16_t& reads, void (*between)()) {
    reads = 0;
    uint16_t at = 0;
    uint8_t commands = 0;
    while (at < length) {
        const uint8_t size = sizeAt(payload, at, length);
        if (size == 0)
            return false;
        if (payload[at] == kCmdReadByte)
            ++reads;
        at = static_cast<uint16_t>(at + size);
        if (between && ++commands % kCheckStride == 0)
            between();
    }
    return at == length;
}

void PacketInput::start(uint8_t* first, uint8_t* second, uint16_t capacity, uint32_t nowMs) {
    m_buffers[0] = first;
    m_buffers[1] = second;
    m_capacity = capacity;
    m_slots[0] = Slot();
    m_slots[1] = Slot();
    m_receiver.reset();
    m_queued = 0;
    m_expectedSeq = 0;
    m_blocked = false;
    m_rejected = false;
    m_aborted = false;
    m_rateLost = false;
    m_abortMatched = 0;
    m_framingErrors = 0;
    m_lastActiveMs = nowMs;
    fill(0);
}

bool PacketInput::quietFallbackDue(bool powered, uint32_t nowMs) const {
    return !faulty(Fault::FastNoFallback) && !powered && idle() && !m_receiver.receiving() &&
           static_cast<uint32_t>(nowMs - m_lastActiveMs) >= kFastQuietMs;
}

void PacketInput::arrived(uint32_t nowMs) {
    expire(nowMs);
    m_receiver.touch(nowMs);
    m_lastActiveMs = nowMs;
}

void PacketInput::expire(uint32_t nowMs) {
    if (!m_blocked && !m_aborted && !m_rateLost && m_receiver.expire(nowMs))
        reject();
}

uint8_t PacketInput::nextPacket() {
    if (m_queued == 0)
        return kNone;
    const uint8_t slot = m_queue[0];
    m_queue[0] = m_queue[1];
    --m_queued;
    m_slots[slot].state = kRunning;
    return slot;
}

void PacketInput::finished(uint8_t slot) {
    m_slots[slot].state = kFree;
    if (m_filling == kNone)
        fill(slot);
}

void PacketInput::block() {
    m_blocked = true;
    m_abortMatched = 0;
    m_receiver.reset();
    for (uint8_t i = 0; i < m_queued; ++i)
        m_slots[m_queue[i]].state = kFree;
    m_queued = 0;
}

bool PacketInput::rejectionDue(uint8_t& seq) {
    if (!m_rejected || m_queued != 0)
        return false;
    m_rejected = false;
    seq = m_rejectedSeq;
    return true;
}

bool LineResync::drop(uint32_t nowMs) {
    if (!m_on)
        return false;
    if (static_cast<uint32_t>(nowMs - m_lastMs) < kFastResyncMs) {
        m_lastMs = nowMs;
        return true;
    }
    m_on = false;
    return false;
}

bool PacketRun::start(const uint8_t* payload, uint16_t length, void (*between)()) {
    m_payload = payload;
    m_length = length;
    m_at = 0;
    m_refused = false;
    m_leaving = false;
    return checkPayload(payload, length, m_reads, between);
}

PacketRun::Next PacketRun::next(UnitLogic& logic, Step& step) {
    if (m_refused || m_at >= m_length)
        return kDone;
    // The payload was checked whole: each command has its arguments.
    Op op;
    op.command = m_payload[m_at];
    const uint8_t size = sizeAt(m_payload, m_at, m_length);
    if (size > 1)
        op.low = m_payload[m_at + 1];
    if (size > 2)
        op.high = m_payload[m_at + 2];
    m_at = static_cast<uint16_t>(m_at + size);
    switch (op.command) {
    case kOpWait:
        m_waitMs = op.operand();
        if (faulty(Fault::FastShortWait) && m_waitMs > 0)
            --m_waitMs;
        return kWait;
    case kOpLeave:
        m_leaving = true;
        if (logic.powered()) {
            logic.end(step);
            return kLeave;
        }
        step = Step();
        return kLeave;
    default:
        if (!logic.take(op.command, op.low, op.high, step)) {
            m_refused = true;
            return kDone;
        }
        return kCommand;
    }
}

} // namespace unit
} // namespace tessaline
