// SPDX-License-Identifier: GPL-3.0-or-later
// The reference unit's fast mode, compiled for the host: what runs of good, damaged, late,
// out-of-order and surplus packets, ABORT and LEAVE, WAIT, a refusal inside a packet, the
// reply's bytes, and the fall-backs to plain mode.
#include "firmware/unit_batch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaline;
using namespace tessaline::unit;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes packet(std::uint8_t seq, const Bytes& payload) {
    Bytes bytes{kPacketStart, seq, static_cast<std::uint8_t>(payload.size() & 0xFF),
                static_cast<std::uint8_t>(payload.size() >> 8)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const std::uint16_t crc = crc16(bytes.data() + 1, static_cast<std::uint16_t>(bytes.size() - 1));
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kAbort = packet(kAbortSeq, {});

// A unit in fast mode as its firmware runs it, with the pin work written down: each
// packet's run as "P<seq>[" its steps "]", then what ends the packets: "R<seq>" a
// rejection answered, "A" ABORT, "L" the rate lost, "Q" the quiet fall-back.
struct Unit {
    Unit() { input.start(buffers[0], buffers[1], kMaxPacketPayload, 0); }

    // Bytes a millisecond apart (or `gapMs`), with a run of the executor after each when
    // `serveEach`, else once at the end (the unit busy with a long packet meanwhile).
    void feed(const Bytes& bytes, std::uint32_t gapMs = 1, bool serveEach = true) {
        for (const std::uint8_t byte : bytes) {
            now += gapMs;
            input.take(byte, now);
            if (serveEach)
                serve();
        }
        serve();
    }
    void garbled(std::uint32_t gapMs) {
        now += gapMs;
        input.lineError(true, now);
        serve();
    }
    void wait(std::uint32_t ms) {
        now += ms;
        input.expire(now);
        serve();
    }

    void serve() {
        for (;;) {
            const std::uint8_t slot = input.nextPacket();
            std::uint8_t seq = 0;
            if (slot != PacketInput::kNone) {
                runPacket(slot);
            } else if (input.rejectionDue(seq)) {
                log += "R" + std::to_string(seq);
            } else if (input.abortDue()) {
                Step step;
                const bool powered = logic.powered();
                logic.end(step);
                log += std::string("A") + (powered ? "v" : "") + (step.completeFrame ? "f" : "");
                input.start(buffers[0], buffers[1], kMaxPacketPayload, now);
            } else if (input.rateLost()) {
                log += "L";
                input.start(buffers[0], buffers[1], kMaxPacketPayload, now);
            } else {
                if (input.quietFallbackDue(logic.powered(), now)) {
                    log += "Q";
                    input.start(buffers[0], buffers[1], kMaxPacketPayload, now);
                }
                return;
            }
        }
    }

    void runPacket(std::uint8_t slot) {
        PacketRun run;
        log += "P" + std::to_string(input.seq(slot)) + "[";
        if (!run.start(input.payload(slot), input.length(slot))) {
            log += "bad]";
            input.finished(slot);
            input.block();
            return;
        }
        Step step;
        for (;;) {
            const PacketRun::Next next = run.next(logic, step);
            if (next == PacketRun::kDone)
                break;
            if (next == PacketRun::kWait) {
                log += " w" + std::to_string(run.waitMs());
                continue;
            }
            log += " " + std::to_string(step.command);
            if (step.action == Action::PowerUp && !logic.powerUp(supplies)) {
                run.refuse();
                log += "!";
            }
            if (next == PacketRun::kLeave)
                log += " leave";
        }
        if (run.refused()) {
            log += " refused";
            input.block();
        }
        input.finished(slot);
        status = logic.takeStatus();
        input.replied(now);
        log += "]";
    }

    std::uint8_t buffers[2][kMaxPacketPayload] = {};
    PacketInput input;
    UnitLogic logic;
    std::uint8_t supplies = 0;
    std::uint32_t now = 0;
    std::uint8_t status = 0;
    std::string log;
};

} // namespace

// What the unit runs of each stream of bytes, served as they come or all at the end.
TEST(UnitBatch, RunsAcceptedPacketsInOrderAndNothingOfARejectedOne) {
    struct Row {
        const char* what;
        Bytes bytes;
        bool serveEach;
        std::string log;
    };
    Bytes damaged = packet(0, {101, 107, 0});
    damaged[6] ^= 0x04;
    Bytes tooLong = packet(0, Bytes(kMaxPacketPayload + 1, 100));
    const Bytes good0 = packet(0, {101, 107, 0xD, 108, 0x34, 0x12});
    const Bytes good1 = packet(1, {107, 9, 110, 103});
    const Bytes nop2 = packet(2, {100});
    Bytes lengthLost = good0;
    lengthLost.erase(lengthLost.begin() + 2);
    const Row rows[] = {
        {"two packets", good0 + good1, true, "P0[ 101 107 108]P1[ 107 110 103]"},
        {"an empty packet", packet(0, {}), true, "P0[]"},
        {"a CRC wrong", damaged + good0, true, "R0"},
        {"a length over 512", tooLong, true, "R0"},
        {"a command cut from its argument", packet(0, {107}), true, "P0[bad]"},
        {"a byte outside the packet's commands", packet(0, {kCmdUnitReport}), true, "P0[bad]"},
        {"LEAVE before the end", packet(0, {kOpLeave, 100}), true, "P0[bad]"},
        {"a seq out of turn", packet(1, {100}), true, "R1"},
        {"a seq repeated", good0 + packet(0, {100}), true, "P0[ 101 107 108]R0"},
        {"three packets while one runs", good0 + good1 + nop2, false,
         "P0[ 101 107 108]P1[ 107 110 103]R2"},
        {"rejected, then a good packet: only ABORT is taken", damaged + good0 + kAbort, true,
         "R0A"},
        {"ABORT after the packets accepted before it", good0 + good1 + kAbort, false,
         "P0[ 101 107 108]P1[ 107 110 103]A"},
        {"ABORT with a core instruction cut after its code", packet(0, {101, 107, 0}) + kAbort,
         true, "P0[ 101 107]Avf"},
        {"a length byte lost, then ABORT", lengthLost + kAbort, true, "R0A"},
        {"LEAVE powers down", packet(0, {101, kOpLeave}), true, "P0[ 101 103 leave]"},
        {"WAIT", packet(0, {100, kOpWait, 0x10, 0x27, 100}), true, "P0[ 100 w10000 100]"},
    };
    for (const Row& row : rows) {
        Unit unit;
        unit.feed(row.bytes, 1, row.serveEach);
        EXPECT_EQ(unit.log, row.log) << row.what;
    }
}

// A command refused inside a packet skips the rest of it, drops the packets behind it and
// leaves only ABORT, whose power-down ends the silence; the refusal's bits go in the
// packet's status.
TEST(UnitBatch, ARefusalEndsThePacketAndEverythingButAbort) {
    Unit order;
    order.feed(packet(0, {101, 108, 0, 0, 107, 0, 108, 0, 0}) + packet(1, {100}), 1, false);
    order.feed(packet(2, {100}) + kAbort);
    EXPECT_EQ(order.log, "P0[ 101 refused]Av");
    EXPECT_EQ(order.status, kStatusRefused);
    EXPECT_FALSE(order.logic.silent());

    Unit supplies;
    supplies.supplies = kStatusVddOutOfRange;
    supplies.feed(packet(0, {101, 107, 0, 108, 0, 0}));
    EXPECT_EQ(supplies.log, "P0[ 101! refused]");
    EXPECT_EQ(supplies.status, kStatusRefused | kStatusVddOutOfRange);
}

// A packet whose bytes stop coming is rejected; the ABORT found after it is taken.
TEST(UnitBatch, APacketCutShortIsRejected) {
    Unit unit;
    const Bytes whole = packet(0, {100, 100});
    unit.feed(Bytes(whole.begin(), whole.begin() + 5));
    unit.wait(kPacketByteGapMs + 1);
    EXPECT_EQ(unit.log, "R0");
    unit.feed(kAbort);
    EXPECT_EQ(unit.log, "R0A");
}

// Framing errors close together say the program talks at another rate; one alone is a
// byte lost, which rejects the packet under way. A quiet line ends fast mode only while
// the unit is powered down.
TEST(UnitBatch, FallsBackOnFramingErrorsOrAQuietLineWhilePoweredDown) {
    Unit slow;
    slow.garbled(1);
    slow.garbled(1);
    EXPECT_EQ(slow.log, "R0L");

    Unit noise;
    noise.garbled(1);
    noise.garbled(kFastFramingWindowMs + 1);
    noise.feed(kAbort);
    EXPECT_EQ(noise.log, "R0A");

    Unit quiet;
    quiet.feed(packet(0, {101}));
    quiet.wait(kFastQuietMs + 10);
    EXPECT_EQ(quiet.log, "P0[ 101]") << "powered: it stays";
    quiet.feed(packet(1, {103}));
    quiet.wait(kFastQuietMs - 1);
    EXPECT_EQ(quiet.log, "P0[ 101]P1[ 103]");
    quiet.wait(1);
    EXPECT_EQ(quiet.log, "P0[ 101]P1[ 103]Q");

    // Back in plain mode after the rate was lost, bytes are dropped until the line has
    // been quiet for a while.
    LineResync resync;
    resync.start(0);
    EXPECT_TRUE(resync.drop(kFastResyncMs - 1));
    EXPECT_TRUE(resync.drop(2 * kFastResyncMs - 2));
    EXPECT_FALSE(resync.drop(3 * kFastResyncMs - 2));
    EXPECT_FALSE(resync.drop(3 * kFastResyncMs - 1));
}

// The reply: header, each read's byte as it completes, 00h for reads that did not run,
// the status and the CRC over seq .. status.
TEST(UnitBatch, TheReplyCarriesTheReadsTheStatusAndItsCrc) {
    Bytes out;
    auto sink = [&out](std::uint8_t byte) { out.push_back(byte); };
    ReplyWriter<decltype(sink)> reply(sink);
    reply.begin(7, 3);
    reply.data(0xAB);
    EXPECT_EQ(out, (Bytes{kReplyStart, 7, 3, 0, 0xAB}));
    reply.end(kStatusRefused);
    ReplyReceiver receiver;
    Bytes data;
    ReplyReceiver::Event last = ReplyReceiver::kNothing;
    for (const std::uint8_t byte : out) {
        last = receiver.take(byte);
        if (last == ReplyReceiver::kData)
            data.push_back(receiver.data());
    }
    EXPECT_EQ(last, ReplyReceiver::kComplete);
    EXPECT_EQ(data, (Bytes{0xAB, 0x00, 0x00}));
    EXPECT_EQ(receiver.status(), kStatusRefused);
}

// ENTER is taken only from a unit at rest, and switches only to a rate the unit can do.
TEST(UnitBatch, EnterIsTakenOnlyPoweredDown) {
    UnitLogic logic;
    Step step;
    EXPECT_TRUE(logic.receive(kCmdEnterFast, 1, step) || logic.receive(kRate1000000, 2, step));
    EXPECT_EQ(step.action, Action::EnterFast);
    EXPECT_EQ(step.value, kRate1000000);
    EXPECT_TRUE(fastRateTaken(kRate1000000));
    EXPECT_FALSE(fastRateTaken(kRate2000000));
    EXPECT_FALSE(fastRateTaken(kFastRateCount));
    EXPECT_EQ(unitReplyCount(kCmdEnterFast), 2);

    ASSERT_TRUE(logic.receive(kCmdBeginVddFirst, 3, step));
    ASSERT_TRUE(logic.powerUp(0));
    EXPECT_FALSE(logic.receive(kCmdEnterFast, 4, step) || logic.receive(kRate1000000, 5, step));
    EXPECT_TRUE(logic.silent());
}
