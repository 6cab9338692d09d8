// SPDX-License-Identifier: GPL-3.0-or-later
// The program's fast mode against the unit's firmware, judged at its pins: the five
// operations of one model of each family at 1,000,000 baud without a violation. (The full
// Program All whose frames equal the reply-paced run's is BM_EngineFastProgramAll32K.)
#include "engine/byte_trace.hpp"
#include "tests/pinlevel/avr_rig.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// Counts the operations that ran in fast mode at 1,000,000 baud.
struct ModeCount : ByteTrace {
    void traceByte(const TracedByte&) override {}
    void tracePacket(const TracedPacket& packet) override {
        fast += packet.kind == TracedPacket::Kind::Mode && packet.baud == 1000000;
    }
    int fast = 0;
};

void makeFast(AvrRig& rig, ModeCount& modes) {
    rig.control.setUnitType(CommandSet::Reference);
    rig.control.setFastBaud(1000000);
    rig.control.setTrace(&modes);
}

class EngineFastMode : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(EngineFastMode, FiveOperationsAtOneMegabaudWithoutAViolation) {
    AvrRig rig(shippedRecord(GetParam()));
    ASSERT_EQ(rig.unit.error(), "");
    ModeCount modes;
    makeFast(rig, modes);
    rig.unit.chip().fillWithPattern(0x5A);
    ASSERT_TRUE(rig.run(OperationKind::Erase));
    EXPECT_EQ(rig.host.status(), "Chip erased");
    ASSERT_TRUE(rig.run(OperationKind::Blank));
    EXPECT_EQ(rig.host.status(), "Chip is blank");
    fillMemories(rig.buffer, 3);
    std::fill(rig.buffer.Flash.begin() + 4096, rig.buffer.Flash.end(), 0xFF);
    fillUnprotectedConfig(rig.buffer, rig.unit.chip().model(), 3);
    const ProgramBuffer programmed = rig.buffer;
    ASSERT_TRUE(rig.run(OperationKind::Program));
    EXPECT_EQ(rig.host.status(), "Chip programmed");
    EXPECT_EQ(rig.unit.chip().flash, programmed.Flash);
    EXPECT_EQ(rig.unit.chip().eeprom, programmed.Eeprom);
    ASSERT_TRUE(rig.run(OperationKind::Verify));
    EXPECT_EQ(rig.host.status(), "Chip verified");
    ResetBuffer(rig.buffer, rig.model.FlashSize, rig.model.EepromSize, rig.model.ConfigErased);
    ASSERT_TRUE(rig.run(OperationKind::Read));
    EXPECT_EQ(rig.host.status(), "Chip read");
    EXPECT_EQ(rig.buffer.Flash, programmed.Flash);
    EXPECT_EQ(rig.buffer.Eeprom, programmed.Eeprom);
    EXPECT_EQ(rig.buffer.Config, programmed.Config);
    EXPECT_EQ(modes.fast, 5);
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(OneModelEach, EngineFastMode,
                         ::testing::Values("18F452", "18F2220", "18F2420"));
