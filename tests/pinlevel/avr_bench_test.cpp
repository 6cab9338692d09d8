// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's firmware in simulated silicon, judged at pin level by the strict chip, in
// one process with no wall clock: one model of each family through every operation, the
// ID check, a stop, and the fault builds of the firmware, each of which must be caught.
#include "tests/pinlevel/avr_rig.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// A program in the first `flashBytes` of FLASH and the whole EEPROM, with configuration
// values that use only bits the chip has and protect nothing.
void fillProgram(ProgramBuffer& buffer, const sim::ChipModel& chip, std::size_t flashBytes) {
    fillMemories(buffer, 3);
    std::fill(buffer.Flash.begin() + static_cast<std::ptrdiff_t>(flashBytes), buffer.Flash.end(),
              0xFF);
    fillUnprotectedConfig(buffer, chip, 3);
}

class FirmwareFamilies : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(FirmwareFamilies, EraseBlankCheckProgramVerifyAndReadBackWithoutAViolation) {
    AvrRig rig(shippedRecord(GetParam()));
    ASSERT_EQ(rig.unit.error(), "");
    rig.unit.chip().fillWithPattern(0x5A);

    ASSERT_TRUE(rig.run(OperationKind::Erase));
    EXPECT_EQ(rig.host.status(), "Chip erased");
    ASSERT_TRUE(rig.run(OperationKind::Blank));
    EXPECT_EQ(rig.host.status(), "Chip is blank");

    fillProgram(rig.buffer, rig.unit.chip().model(), 4096);
    const ProgramBuffer programmed = rig.buffer;
    ASSERT_TRUE(rig.run(OperationKind::Program));
    EXPECT_EQ(rig.host.status(), "Chip programmed");
    EXPECT_EQ(rig.unit.chip().flash, programmed.Flash);
    EXPECT_EQ(rig.unit.chip().eeprom, programmed.Eeprom);
    ASSERT_TRUE(rig.run(OperationKind::Verify));
    EXPECT_EQ(rig.host.status(), "Chip verified");

    ResetBuffer(rig.buffer, rig.model.FlashSize, rig.model.EepromSize, rig.model.ConfigErased);
    ASSERT_TRUE(rig.run(OperationKind::Read));
    EXPECT_EQ(rig.buffer.Flash, programmed.Flash);
    EXPECT_EQ(rig.buffer.Eeprom, programmed.Eeprom);
    EXPECT_EQ(rig.buffer.Config, programmed.Config);
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});
    // The firmware's own time per command, beyond its pin work: 0.2 ms at most.
    EXPECT_LE(rig.unit.monitor().ownCyclesMax(), 3200u);
}

INSTANTIATE_TEST_SUITE_P(OneModelEach, FirmwareFamilies,
                         ::testing::Values("18F452", "18F2220", "18F2420"));

TEST(FirmwareBench, ReadsTheDeviceIdAndStopsAtAWrongChip) {
    AvrRig right(shippedRecord("18F4520"));
    right.control.StartIdentify(true);
    right.port.deliver();
    ASSERT_EQ(right.host.ends.size(), 1u);
    EXPECT_EQ(right.host.ends[0].outcome, Outcome::Done);
    EXPECT_EQ(right.host.ends[0].deviceId, right.unit.chip().reportedDeviceId());
    EXPECT_EQ(right.finish(), std::vector<std::string>{});

    // The command-line tool's exit status 4.
    AvrRig wrong(shippedRecord("18F4520"), {.chip = "18F452"});
    wrong.unit.chip().fillWithPattern(0x33);
    const std::vector<std::uint8_t> before = wrong.unit.chip().flash;
    ASSERT_FALSE(wrong.run(OperationKind::Program));
    ASSERT_EQ(wrong.host.ends.size(), 1u);
    EXPECT_EQ(wrong.host.ends[0].outcome, Outcome::WrongDevice);
    EXPECT_EQ(wrong.unit.chip().flash, before);
    EXPECT_EQ(wrong.finish(), std::vector<std::string>{});
}

// J1 and J3 in their low-voltage positions: PGM up before MCLR goes to VDD. A chip whose
// LVP bit is 0 does not enter programming mode that way.
TEST(FirmwareBench, LowVoltageEntryThroughPgm) {
    AvrRig rig(shippedRecord("18F2221"), {.lowVoltage = true});
    ASSERT_TRUE(rig.run(OperationKind::Erase));
    ASSERT_TRUE(rig.run(OperationKind::Blank));
    EXPECT_EQ(rig.host.status(), "Chip is blank");
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});

    AvrRig locked(shippedRecord("18F2221"), {.lowVoltage = true});
    locked.unit.chip().config[6] &= 0xFB; // CONFIG4L: LVP = 0
    locked.control.StartIdentify(true);
    locked.port.deliver();
    const std::vector<std::string> found = locked.finish();
    ASSERT_FALSE(found.empty());
    EXPECT_NE(found[0].find("LVP bit"), std::string::npos) << found[0];
}

TEST(FirmwareBench, AStopMidOperationPowersDownCleanly) {
    AvrRig rig(shippedRecord("18F4520"));
    fillProgram(rig.buffer, rig.unit.chip().model(), 4096);
    int commands = 0;
    rig.host.onCommand = [&] {
        if (++commands == 600)
            rig.control.requestStop();
    };
    rig.run(OperationKind::Program);
    ASSERT_EQ(rig.host.ends.size(), 1u);
    EXPECT_EQ(rig.host.ends[0].outcome, Outcome::Stopped);
    EXPECT_FALSE(rig.unit.decoder().targetPowered());
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});
}

namespace {

// Command bytes straight to the firmware, each group answered before the next goes out,
// with a wait after it; the bench's violations at the end.
struct Exchange {
    std::vector<std::uint8_t> bytes;
    int waitMs = 0;
};

std::vector<std::string> exchange(const std::string& firmware, const char* chip,
                                  const std::vector<Exchange>& exchanges) {
    pinlevel::AvrUnit::Setup setup;
    setup.firmware = firmware;
    setup.model = sim::findChipModel(chip);
    pinlevel::AvrUnit unit(setup);
    if (!unit.error().empty())
        return {unit.error()};
    pinlevel::AvrLoopbackPort port(unit);
    port.setReceiveThreshold(1);
    port.setReceiveHandler([&port] { port.readAll(); });
    for (const Exchange& step : exchanges) {
        for (const std::uint8_t byte : step.bytes)
            port.writeByte(byte);
        port.deliver();
        port.waitMilliseconds(step.waitMs);
    }
    unit.finish(false);
    return unit.violations();
}

} // namespace

// Each fault build leaves out one rule; the bench must name what goes wrong, and the
// right firmware must go through the same exchange without a violation.
TEST(FirmwareBench, CatchesEveryFaultBuild) {
    struct Row {
        const char* build;
        const char* chip;
        std::vector<Exchange> exchanges;
        const char* violation;
    };
    const std::vector<Exchange> readByte{{{101}}, {{107, 0x9}}, {{110}}, {{103}}};
    const std::vector<Exchange> pulse{{{101}}, {{111, 2}}, {{109}}, {{103}}};
    const Row rows[] = {
        {"sample-at-rise", "18F452", readByte, "to a read whose byte on PGD was FFH"},
        {"pgd-output-in-read", "18F452", readByte, "contention"},
        {"short-p10", "18F4520", pulse, "P10"},
        {"short-pulse", "18F452", pulse, "the programming time is 2 ms"},
        {"data-with-clock", "18F452", {{{101}}, {{107, 0}}, {{108, 0x55, 0x0E}}, {{103}}}, "P3/P4"},
        {"late-vdd-off", "18F452", {{{101}}, {{103}}}, "P17"},
        {"clock-unpowered", "18F452", {{{107, 0}}}, "not in programming mode"},
        {"reply-before-pulse", "18F452", pulse, "the pins moved after the reply to command 109"},
        {"no-partial-timeout",
         "18F452",
         {{{101}}, {{107}, 600}, {{103}}},
         "the last command got no reply"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(exchange(firmwarePath(), row.chip, row.exchanges), std::vector<std::string>{})
            << row.build;
        const std::vector<std::string> found =
            exchange(firmwarePath(std::string("tessaline-unit-fault-") + row.build), row.chip,
                     row.exchanges);
        bool named = false;
        for (const std::string& text : found)
            named = named || text.find(row.violation) != std::string::npos;
        EXPECT_TRUE(named) << row.build << ": " << testing::PrintToString(found);
    }
}
