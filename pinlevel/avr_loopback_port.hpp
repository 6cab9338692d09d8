// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/byte_port.hpp"
#include "pinlevel/avr_unit.hpp"
#include "protocol/command_framer.hpp"
#include "protocol/fast_mode.hpp"

#include <cstdint>
#include <deque>
#include <vector>

namespace tessaline::pinlevel {

// Connects the engine to the unit's firmware running in the same process, with no
// terminal and no wall clock: the sibling of LoopbackPort for the firmware. Written bytes
// go onto the unit's serial line; deliver() runs the firmware until the replies that the
// commands asked for are in (or a budget of simulated time has passed, as with a unit
// that stops answering) and hands them to the receive handler. The same run gives the
// same result every time. In fast mode it counts a reply due for every packet written.
class AvrLoopbackPort : public BytePort {
public:
    explicit AvrLoopbackPort(AvrUnit& unit);

    bool isOpen() const override { return true; }
    void writeByte(std::uint8_t value) override;
    std::vector<std::uint8_t> readAll() override;
    void setReceiveThreshold(int threshold) override { m_threshold = threshold; }
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override { m_handler = std::move(handler); }

    // Raises receive events while replies come and notifications are on; returns the
    // number raised. Waits at most `budgetMs` of the unit's time for each reply.
    std::int64_t deliver(std::int64_t maxEvents = 100000000, int budgetMs = 2500);
    // The host waits: the unit runs for that long.
    void waitMilliseconds(int milliseconds);
    // The port's rate from now on (until set, whatever rate the unit's UART runs at).
    void setBaudRate(std::int32_t baud) override {
        m_unit.setHostBaud(static_cast<std::uint32_t>(baud));
    }

    // Replies the commands sent so far still owe.
    int repliesDue() const { return m_repliesDue; }

private:
    bool awaitReplies(int budgetMs);

    AvrUnit& m_unit;
    std::deque<std::uint8_t> m_incoming;
    int m_threshold = 0;
    ReceiveHandler m_handler;
    // The commands being sent, to know the replies they ask for; in fast mode the packets,
    // each answered with one reply.
    CommandFramer m_framer;
    int m_repliesDue = 0;
    int m_plainDue = 0;
    PacketReceiver m_packets;
    std::uint8_t m_payload[kMaxPacketPayload] = {};
    ReplyReceiver m_replies;
    std::uint64_t m_lastReply = 0;
    // A packet's reply is in while another packet is still owed an answer.
    bool m_packetAnswered = false;
};

} // namespace tessaline::pinlevel
