// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/programmer_unit.hpp"

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::sim;

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
