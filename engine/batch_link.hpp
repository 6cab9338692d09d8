// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/fast_mode.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

namespace tessaline {

class BytePort;

// Fast mode's packets as the program builds, sends and checks them (protocol/fast_mode.hpp).
// The engine's commands go into the open packet. It is cut where a script's loop pass ends
// and one more pass of the same size would not fit, where the program needs the unit's
// real answers before it goes on, and before a command that would take it past
// kMaxPacketPayload (then at the last command that is not a 4-bit code waiting for its
// operand, which moves on to the next packet with its code). At most two packets are in
// flight, so that the unit receives one while it runs the other. A reply counts only when
// its seq, its count of data bytes and its CRC are right; its data bytes are the reads of
// its packet, in order.
class BatchLink {
public:
    static constexpr std::size_t kPacketsInFlight = 2;

    struct Packet {
        std::uint8_t seq = 0;
        std::vector<std::uint8_t> payload;
        std::uint16_t reads = 0;
        std::uint32_t commands = 0;
        // What the unit's clock runs on top of the bytes: programming times, WAITs, and
        // the settling of each power-up.
        std::int32_t runMs = 0;
    };

    enum class Reply {
        Partial,  // a byte of a reply whose end has not come
        Complete, // a reply whose seq, count and CRC are right: replyData(), replyStatus()
        Bad,      // a byte where no reply may be, a wrong CRC, or a reply that is not the
                  // one due
    };

    explicit BatchLink(BytePort& port) : m_port(port) {}

    // A new session at the fast rate: the first packet has seq 0; nothing is open or in
    // flight.
    void start();

    // One whole command of CommandSet::Packet with its arguments.
    void add(const std::uint8_t* bytes, std::size_t count);
    // WAIT for the given time: the unit's pins stay idle that long.
    void addWait(std::int32_t milliseconds);
    // The command just added ends a loop's pass.
    void passEnded();
    // The open packet is ready to go, up to its last command that is not a 4-bit code
    // waiting for its operand (the rest stays open).
    void cut();
    // Commands that were never sent are dropped: the open packet and those cut but not
    // sent.
    void discardUnsent();
    // Only the open packet's commands are dropped.
    void discardOpen();
    bool building() const { return !m_open.payload.empty(); }
    bool hasReady() const { return !m_ready.empty(); }
    bool canSend() const { return hasReady() && m_inFlight.size() < kPacketsInFlight; }

    // Writes the oldest packet that is ready, in one write.
    const Packet& sendReady();
    // Writes a packet of its own (the empty PING, LEAVE, the end command with LEAVE) after
    // what is in flight; nothing may be open or ready.
    const Packet& sendNow(std::initializer_list<std::uint8_t> payload);
    // Writes ABORT. From now on every whole reply counts, whatever its seq; the one with
    // seq FFh is ABORT's.
    void sendAbort();

    std::size_t inFlight() const { return m_inFlight.size(); }
    const Packet& oldest() const { return m_inFlight.front(); }
    // The time the oldest packet in flight may take before its reply is late: the reply
    // allowance of a command, its programming times, WAITs and power-ups.
    std::int32_t oldestAllowanceMs() const;
    // All of the packets in flight together, for the wait after ABORT.
    std::int32_t runMsInFlight() const;

    // A byte from the unit.
    Reply take(std::uint8_t byte);
    const std::vector<std::uint8_t>& replyData() const { return m_data; }
    std::uint8_t replySeq() const { return m_receiver.seq(); }
    std::uint8_t replyStatus() const { return m_receiver.status(); }
    // The oldest packet in flight is answered.
    void answered() { m_inFlight.pop_front(); }
    // Back to waiting for a reply's first byte.
    void resetReceiver();

    std::uint64_t packetsSent() const { return m_packetsSent; }

private:
    void cutOpen(std::size_t at);
    void write(Packet& packet);

    BytePort& m_port;
    Packet m_open;
    std::deque<Packet> m_ready;
    std::deque<Packet> m_inFlight;
    std::uint8_t m_nextSeq = 0;
    // Where the open packet may be cut: after its last command that is not a 4-bit code.
    std::size_t m_legalEnd = 0;
    // Where the last loop pass of the open packet began.
    std::size_t m_passStart = 0;
    std::uint8_t m_progTimeMs = 0;
    std::vector<std::uint8_t> m_wire;
    ReplyReceiver m_receiver;
    std::vector<std::uint8_t> m_data;
    int m_replyBytes = 0;
    bool m_aborted = false;
    std::uint64_t m_packetsSent = 0;
};

} // namespace tessaline
