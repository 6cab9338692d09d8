// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"
#include "engine/operation_control.hpp"
#include "pinlevel/avr_loopback_port.hpp"
#include "pinlevel/avr_unit.hpp"
#include "tests/support/fake_hosts.hpp"
#include "tests/support/fast_packets.hpp"
#include "tests/support/probe_port.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::test {

// The unit's firmware build of that name (tessaline-unit, or one of its fault builds).
std::string firmwarePath(const std::string& name = "tessaline-unit");

// One model of devices.cfg driving the unit's firmware in simulated silicon, in one
// process and without a wall clock: the engine's waits run the firmware for that long.
struct AvrRigOptions {
    std::string firmware = firmwarePath();
    const char* chip = nullptr; // another chip in the socket than the record's
    bool lowVoltage = false;    // the unit's jumpers J1 and J3 set for low-voltage entry
    int vddMillivolts = 5000;   // the +5 V rail that feeds the target
};

// What the engine sent, in order: command bytes, and the host's waits between them.
struct StreamItem {
    bool wait = false;
    std::uint8_t byte = 0;
    int ms = 0;
};

struct AvrRig {
    explicit AvrRig(const DeviceModel& record, const AvrRigOptions& options = {});

    // Runs an operation to its end, letting the reply timer run out whenever the unit is
    // silent; false when it did not complete.
    bool run(OperationKind kind);
    // Ends the run and returns everything the bench saw go wrong.
    std::vector<std::string> finish(bool allowPowered = false);

    pinlevel::AvrUnit unit;
    pinlevel::AvrLoopbackPort port;
    // What the control writes passes here first, into `stream`.
    ProbePort probe{port};
    std::vector<StreamItem> stream;
    SelectedModelValues model;
    ProgramBuffer buffer;
    RecordingOperationHost host;
    OperationControl control;
};

// Fast-mode payloads of a plain command stream: whole commands, a 4-bit code never apart
// from the command after it, each host wait a WAIT; each payload at most `maxBytes`.
std::vector<PacketBytes> packetize(const std::vector<StreamItem>& stream, std::size_t maxBytes);

// Fast mode driven without the engine: ENTER, then packets with two in flight, each
// reply awaited for a bounded time of the unit's. The host's rate follows the unit's.
class FastDriver {
public:
    explicit FastDriver(pinlevel::AvrUnit& unit);

    // ENTER at `rate`, then the program's 20 ms before its first packet; true when the
    // unit answered that it switches.
    bool enter(std::uint8_t rate);
    // The payloads as packets, seq counting on, at most `window` unanswered at a time;
    // false when a reply did not come within its time, or one said a packet was rejected.
    bool send(const std::vector<PacketBytes>& payloads, int window = 2);
    // Bytes as they are (ABORT, a damaged packet), then runs until `replies` more replies
    // came or `budgetMs` passed.
    void write(const PacketBytes& bytes, int replies, int budgetMs = 100);
    void waitMilliseconds(int milliseconds);
    // Plain commands at the rate the unit's UART runs at: the reply bytes that came for
    // them within the budget.
    std::vector<std::uint8_t> plain(const PacketBytes& bytes, int replies, int budgetMs = 100);

    // The replies so far, as fastReplies() words them, and the bytes of their reads.
    std::string replies() const { return fastReplies(m_received); }
    const std::vector<std::uint8_t>& data() const { return m_data; }
    std::uint8_t nextSeq() const { return m_seq; }

private:
    void await(int replies, int budgetMs);

    pinlevel::AvrUnit& m_unit;
    std::vector<std::uint8_t> m_received;
    std::vector<std::uint8_t> m_data;
    ReplyReceiver m_replies;
    int m_plainDue = 0;
    std::vector<std::uint8_t> m_plain;
    int m_completed = 0;
    bool m_rejected = false;
    int m_pauseAt = -1;
    std::uint8_t m_seq = 0;
};

} // namespace tessaline::test
