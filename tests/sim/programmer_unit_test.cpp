// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/loopback_port.hpp"
#include "sim/programmer_unit.hpp"
#include "tests/support/fast_packets.hpp"

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::sim;
using namespace tessaline::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct UnitRig {
    UnitRig() : chip(*findChipModel("18F452"), clock), unit(chip, clock) {}
    Bytes send(const Bytes& bytes) {
        Bytes replies;
        for (std::uint8_t byte : bytes) {
            const Bytes reply = unit.receive(byte);
            replies.insert(replies.end(), reply.begin(), reply.end());
        }
        return replies;
    }
    ManualClock clock;
    Pic18Chip chip;
    ProgrammerUnit unit;
};

} // namespace

TEST(ProgrammerUnit, OneReplyPerCommandAndTwoAfterARead) {
    UnitRig rig;
    rig.chip.erase();
    rig.chip.flash[0] = 0x42;
    EXPECT_EQ(rig.send({101}).size(), 1u);
    EXPECT_EQ(rig.send({107}).size(), 0u);
    EXPECT_EQ(rig.send({0x09}).size(), 1u);
    EXPECT_EQ(rig.send({110}), (Bytes{0x42, 0x00}));
    EXPECT_EQ(rig.send({107, 0x00, 108, 0x00, 0x00, 100, 111, 5, 103}).size(), 5u);
    EXPECT_EQ(rig.unit.progTimeMs(), 5);
    EXPECT_TRUE(rig.chip.violations().empty());
    EXPECT_TRUE(rig.unit.violations().empty());
}

TEST(ProgrammerUnit, ProgrammingPulseHoldsForTheProgrammingTime) {
    UnitRig rig;
    rig.send({101, 111, 7});
    const std::int64_t before = rig.clock.nowMicros();
    EXPECT_EQ(rig.send({109}).size(), 1u);
    EXPECT_EQ(rig.clock.nowMicros() - before, 7000);
}

TEST(ProgrammerUnit, BrokenSequencesAreViolations) {
    struct Row {
        Bytes bytes;
        const char* text;
    };
    const Row rows[] = {
        {{104}, "not a command"},
        {{99}, "not a command"},
        {{101, 108, 0, 0}, "without a command code"},
        {{101, 107, 0, 107, 0}, "still waited"},
        {{101, 107, 0x10}, "more than 4 bits"},
        {{101, 107, 0, 109}, "programming pulse sent while"},
        {{101, 110}, "read sent without"},
        {{101, 111, 0}, "programming time of 0"},
    };
    for (const Row& row : rows) {
        UnitRig rig;
        rig.send(row.bytes);
        ASSERT_FALSE(rig.unit.violations().empty()) << row.text;
        EXPECT_NE(rig.unit.violations()[0].find(row.text), std::string::npos)
            << rig.unit.violations()[0];
    }
}

TEST(ProgrammerUnit, MutedUnitStopsAnswering) {
    UnitRig rig;
    rig.unit.muteAfter = 2;
    EXPECT_EQ(rig.send({100, 100, 100, 100}).size(), 2u);
}

// The end command with a command code waiting drops the code; a command whose bytes stop
// coming for 500 ms is dropped, so the next program's end command is read as one; and a
// chip still powered when the simulator ends was left so by the program that drove it.
TEST(ProgrammerUnit, DropsCutCommandsAndReportsAChipLeftPowered) {
    UnitRig halfSent;
    halfSent.send({101, 107, 0x0D, 103});
    EXPECT_FALSE(halfSent.chip.powered());
    EXPECT_TRUE(halfSent.unit.allViolations().empty());

    UnitRig partial;
    partial.send({101, 107});
    partial.clock.advance(600'000);
    EXPECT_EQ(partial.send({103}).size(), 1u);
    EXPECT_FALSE(partial.chip.powered());
    EXPECT_TRUE(partial.unit.allViolations().empty());

    UnitRig quick;
    quick.send({101, 107});
    quick.clock.advance(100'000);
    quick.send({103});
    EXPECT_TRUE(quick.chip.powered()); // 103 was taken as the code

    for (const bool allowed : {false, true}) {
        UnitRig left;
        left.send({101});
        left.unit.programEnded(allowed);
        EXPECT_EQ(left.unit.allViolations(),
                  allowed ? std::vector<std::string>{}
                          : std::vector<std::string>{
                                "left powered: voltages still applied when the program ended"});
    }
}

// As a reference unit the firmware's own logic decides: a refusal brings silence until a
// 103 after a quiet line, whose reply says why; a byte lost or garbled on the line does
// the same without blaming the program; and it answers the probe and the report.
TEST(ProgrammerUnit, AsAReferenceUnitItFallsSilentOnARefusalAndSaysWhyAfter103) {
    const auto endAfterQuiet = [](UnitRig& rig) {
        rig.clock.advance(50'000);
        return rig.send({103});
    };
    UnitRig low;
    low.unit.makeReference({.vddMillivolts = 4400});
    EXPECT_EQ(low.send({101, 107, 0, 103}), Bytes{});
    EXPECT_EQ(endAfterQuiet(low), Bytes{kStatusRefused | kStatusVddOutOfRange});

    UnitRig garbled;
    garbled.unit.makeReference({});
    garbled.unit.garbleByte = 4;
    EXPECT_EQ(garbled.send({101, 107, 0x0D, 108, 0x67, 0x00}), (Bytes{0x00, 0x00}));
    EXPECT_TRUE(garbled.chip.powered());
    EXPECT_EQ(endAfterQuiet(garbled), Bytes{kStatusReceiveError});

    UnitRig dropped;
    dropped.unit.makeReference({});
    dropped.unit.dropByte = 4;
    EXPECT_EQ(dropped.send({101, 107, 0x0D, 108, 0x67, 0x00, 107, 0x0D}), (Bytes{0, 0, 0}))
        << "67h ends the session; 00h silences the unit";
    EXPECT_EQ(endAfterQuiet(dropped), Bytes{kStatusReceiveError});
    for (const UnitRig* rig : {&low, &garbled, &dropped}) {
        EXPECT_FALSE(rig->chip.powered());
        EXPECT_EQ(rig->unit.allViolations(), std::vector<std::string>{});
    }

    UnitRig probed;
    probed.unit.makeReference({.targetPowered = true});
    EXPECT_EQ(probed.send({111, 4, 111, 17, 111, 29}),
              (Bytes{0, 0, unitProbeSignature(4, 17, 29)}));
    // Version, not calibrated, VPP 11.00 V, VDD 5.00 V, no jumper, no status.
    EXPECT_EQ(probed.send({kCmdUnitReport}),
              (Bytes{kReferenceFirmwareVersion, 0, 0, 0x4C, 0x04, 0xF4, 0x01, 0, 0}));
    EXPECT_EQ(probed.send({107, 0}), Bytes{});
    EXPECT_EQ(probed.unit.violations(),
              std::vector<std::string>{"the reference unit refused at byte 0 and falls "
                                       "silent until 103"});
}

namespace {

// A reference unit behind the in-process port, which paces every byte at its rate.
struct FastRig {
    FastRig() : chip(*findChipModel("18F452"), clock), unit(chip, clock), port(unit, clock) {
        unit.makeReference({});
    }
    Bytes write(const Bytes& bytes) {
        for (const std::uint8_t byte : bytes)
            port.writeByte(byte);
        return port.readAll();
    }
    // ENTER at 1,000,000 baud, the port following.
    bool enter() {
        const bool entered =
            write({kCmdEnterFast, kRate1000000}) == Bytes{kFastModeVersion, unit::kFastRateMask};
        port.setBaudRate(1'000'000);
        return entered && unit.baud() == 1'000'000;
    }
    ManualClock clock;
    Pic18Chip chip;
    ProgrammerUnit unit;
    LoopbackPort port;
};

std::string hex(unsigned byte) {
    static const char* const kDigits = "0123456789ABCDEF";
    return std::string{kDigits[byte >> 4 & 0xF], kDigits[byte & 0xF]};
}

// TBLPTR to 3FFFFEh, then two table reads with post-increment: the device ID.
const Bytes kReadDeviceId{101,  107, 0, 108, 0x3F, 0x0E, 107, 0, 108, 0xF8, 0x6E, 107, 0, 108, 0xFF,
                          0x0E, 107, 0, 108, 0xF7, 0x6E, 107, 0, 108, 0xFE, 0x0E, 107, 0, 108, 0xF6,
                          0x6E, 107, 9, 110, 107,  9,    110};

} // namespace

// ENTER, packets answered with their reads at the fast rate, LEAVE back to 56000; ABORT
// completes a core instruction cut after its code and powers down.
TEST(ProgrammerUnit, InFastModeRunsPacketsAndAnswersEachWithItsReads) {
    FastRig rig;
    ASSERT_TRUE(rig.enter());
    const std::uint16_t id = rig.chip.reportedDeviceId();
    const std::int64_t before = rig.clock.nowMicros();
    const Bytes request = fastPacket(0, kReadDeviceId);
    EXPECT_EQ(fastReplies(rig.write(request)), "00:" + hex(id & 0xFF) + " " + hex(id >> 8) + "/00");
    // 43 bytes out and 9 back at 10 µs each.
    EXPECT_EQ(rig.clock.nowMicros() - before, (43 + 9) * 10);
    EXPECT_EQ(fastReplies(rig.write(fastPacket(1, {103, kOpLeave}))), "01:/00");
    EXPECT_EQ(rig.unit.baud(), 56000);
    rig.port.setBaudRate(56000);
    EXPECT_EQ(rig.write({100}), Bytes{0});

    ASSERT_TRUE(rig.enter());
    EXPECT_EQ(fastReplies(rig.write(fastPacket(0, {101, 107, 0}))), "00:/00");
    EXPECT_EQ(fastReplies(rig.write(abortPacket())), "FF:/00");
    EXPECT_FALSE(rig.chip.powered());
    EXPECT_EQ(rig.unit.baud(), 56000);
    EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{});
}

// A byte lost or garbled anywhere in a packet: the packet runs nothing, and ABORT brings
// the unit back to plain mode without blaming the program.
TEST(ProgrammerUnit, InFastModeALostOrGarbledByteRunsNothingOfItsPacket) {
    const Bytes powerUp = fastPacket(0, {101, 100});
    for (std::size_t at = 1; at <= powerUp.size(); ++at) {
        for (const bool lost : {true, false}) {
            FastRig rig;
            // After ENTER's two bytes.
            (lost ? rig.unit.dropByte : rig.unit.garbleByte) = static_cast<std::int64_t>(2 + at);
            ASSERT_TRUE(rig.enter());
            const std::string replies = fastReplies(rig.write(powerUp));
            rig.port.waitMicros(kPacketByteGapMs * 1000 + 1000);
            const std::string rejected = fastReplies(rig.port.readAll());
            EXPECT_EQ(fastReplies(rig.write(abortPacket())), "FF:/00") << at << lost;
            // The rejection's reply carries the seq as it came: another, if it was lost.
            const std::string answer = replies + rejected;
            if (at == 1 && lost)
                EXPECT_EQ(answer, "") << "the rest of the packet are stray bytes";
            else
                EXPECT_EQ(answer.substr(2), ":/80") << at << lost;
            EXPECT_EQ(rig.unit.commandCount(), 1) << "ENTER alone ran";
            EXPECT_FALSE(rig.chip.powered());
            EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{}) << at << lost;
        }
    }
}

// A program that talks at 56000 baud to a unit in fast mode: the unit powers down, and
// is back in plain mode, silent until a 103 after a quiet line.
TEST(ProgrammerUnit, InFastModeBytesAtAnotherRateEndFastMode) {
    FastRig rig;
    ASSERT_TRUE(rig.enter());
    EXPECT_EQ(fastReplies(rig.write(fastPacket(0, {101}))), "00:/00");
    rig.port.setBaudRate(56000);
    // The first garbled byte rejects the packet under way: its reply at 1,000,000 baud
    // reaches the port at 56000 as a 00h for each byte.
    EXPECT_EQ(rig.write({103, 103}), Bytes(7, 0x00));
    EXPECT_FALSE(rig.chip.powered());
    EXPECT_EQ(rig.unit.baud(), 56000);
    rig.port.waitMicros(kFastResyncMs * 1000);
    EXPECT_EQ(rig.write({103}), Bytes{kStatusReceiveError});
    EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{"a byte came at another rate "
                                                                 "than the unit's 1000000 baud"});
}
