// SPDX-License-Identifier: GPL-3.0-or-later
// The unit firmware's protocol logic, compiled for the host: argument counts, the actions
// each command asks for, the refusals and their status bits, the partial-command timeout.
#include "firmware/unit_logic.hpp"
#include "protocol/unit_protocol.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaline;
using namespace tessaline::unit;

namespace {

struct Expected {
    int command;
    Action action;
    int value;
    int status; // the reply value taken right after the command
};

// Feeds the bytes a millisecond apart; every completed command is answered at once.
std::vector<Expected> run(UnitLogic& logic, const std::vector<int>& bytes) {
    std::vector<Expected> steps;
    std::uint32_t now = 0;
    for (int byte : bytes) {
        Step step;
        if (logic.receive(static_cast<std::uint8_t>(byte), now++, step))
            steps.push_back({step.command, step.action, step.value, logic.takeStatus()});
    }
    return steps;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.command == b.command && a.action == b.action && a.value == b.value &&
           a.status == b.status;
}

void PrintTo(const Expected& step, std::ostream* out) {
    *out << "{" << step.command << ", action " << static_cast<int>(step.action) << ", value "
         << step.value << ", status " << step.status << "}";
}

constexpr int kRefused = kStatusRefused;
constexpr int kDropped = kStatusReceiveError;

} // namespace

TEST(UnitLogic, EveryCommandTakesItsArgumentsAndIsAnsweredOrRefused) {
    struct Row {
        const char* what;
        std::vector<int> bytes;
        std::vector<Expected> steps;
    };
    const Row rows[] = {
        {"a write transfer",
         {101, 107, 0x0D, 108, 0x34, 0x12, 103},
         {{101, Action::PowerUp, 0, 0},
          {107, Action::CommandCode, 0xD, 0},
          {108, Action::Operand, 0x1234, 0},
          {103, Action::PowerDown, 0, 0}}},
        {"a read",
         {101, 107, 0x09, 110, 100},
         {{101, Action::PowerUp, 0, 0},
          {107, Action::CommandCode, 9, 0},
          {110, Action::Read, 0, 0},
          {100, Action::None, 0, 0}}},
        {"the pulse carries the programming time; 0 ms is taken as 1",
         {111, 5, 101, 109, 111, 0, 109},
         {{111, Action::None, 0, 0},
          {101, Action::PowerUp, 0, 0},
          {109, Action::Pulse, 5, 0},
          {111, Action::None, 0, kRefused},
          {109, Action::Pulse, 1, 0}}},
        {"bytes outside the command set get no reply",
         {104, 105, 106, 0, 255, 100},
         {{100, Action::None, 0, kDropped}}},
        {"nothing is clocked while unpowered",
         {107, 0, 108, 0, 0, 109, 110},
         {{107, Action::None, 0, kRefused},
          {108, Action::None, 0, kRefused},
          {109, Action::None, 0, kRefused},
          {110, Action::None, 0, kRefused}}},
        {"an operand after a read command, and a read after a write command",
         {101, 107, 8, 108, 1, 2, 110, 107, 0xC, 110, 108, 1, 2},
         {{101, Action::PowerUp, 0, 0},
          {107, Action::CommandCode, 8, 0},
          {108, Action::None, 0, kRefused},
          {110, Action::Read, 0, 0},
          {107, Action::CommandCode, 0xC, 0},
          {110, Action::None, 0, kRefused},
          {108, Action::Operand, 0x0201, 0}}},
        {"a command code while one waits, beyond 4 bits, or no programming command",
         {101, 107, 0, 107, 9, 109, 108, 0, 0, 107, 16, 107, 1, 107, 0xF},
         {{101, Action::PowerUp, 0, 0},
          {107, Action::CommandCode, 0, 0},
          {107, Action::None, 0, kRefused},
          {109, Action::None, 0, kRefused},
          {108, Action::Operand, 0, 0},
          {107, Action::None, 0, kRefused},
          {107, Action::None, 0, kRefused},
          {107, Action::CommandCode, 0xF, 0}}},
        {"a power-up on top of one, and a power-down with a command code waiting",
         {101, 102, 107, 0, 103},
         {{101, Action::PowerUp, 0, 0},
          {102, Action::PowerUp, 0, kRefused},
          {107, Action::CommandCode, 0, 0},
          {103, Action::PowerDown, 0, kRefused}}},
        {"a power-up drops the command code that waited: its operand or read is refused",
         {101, 107, 0x0D, 102, 108, 1, 2, 107, 9, 101, 110},
         {{101, Action::PowerUp, 0, 0},
          {107, Action::CommandCode, 0xD, 0},
          {102, Action::PowerUp, 0, kRefused},
          {108, Action::None, 0, kRefused},
          {107, Action::CommandCode, 9, 0},
          {101, Action::PowerUp, 0, kRefused},
          {110, Action::None, 0, kRefused}}},
    };
    for (const Row& row : rows) {
        UnitLogic logic;
        EXPECT_EQ(run(logic, row.bytes), row.steps) << row.what;
    }
}

TEST(UnitLogic, PowerUpOrderFollowsTheCommandAndTheModeJumper) {
    for (const bool lowVoltage : {false, true}) {
        UnitLogic logic;
        logic.setLowVoltage(lowVoltage);
        Step first;
        ASSERT_TRUE(logic.receive(kCmdBeginVppFirst, 0, first));
        EXPECT_EQ(first.vddFirst, lowVoltage) << "low-voltage entry has no VPP-first order";
        EXPECT_FALSE(first.powerDownFirst);
        EXPECT_EQ(logic.takeStatus(), lowVoltage ? kRefused : 0);
        Step second;
        ASSERT_TRUE(logic.receive(kCmdBeginVddFirst, 1, second));
        EXPECT_TRUE(second.vddFirst);
        EXPECT_TRUE(second.powerDownFirst);
    }
}

// The program gives up on a reply after 2 s and sends 103: the unit must read it as a
// command, not as the missing argument of the command before.
TEST(UnitLogic, ACommandWhoseArgumentsStopComingIsDroppedAfter500ms) {
    struct Row {
        std::uint32_t start;
        std::uint32_t gap;
        bool completes;
    };
    // The millisecond count wraps after 49 days.
    const Row rows[] = {
        {0, 500, true}, {0, 501, false}, {0xFFFFFF00, 500, true}, {0xFFFFFF00, 2000, false}};
    for (const Row& row : rows) {
        UnitLogic logic;
        Step step;
        ASSERT_FALSE(logic.receive(kCmdProgTime, row.start, step));
        const std::uint32_t later = row.start + row.gap;
        EXPECT_EQ(logic.receive(7, later, step), row.completes) << row.start << "+" << row.gap;
        if (row.completes) {
            EXPECT_EQ(logic.progTimeMs(), 7);
        } else {
            EXPECT_EQ(logic.takeStatus(), kDropped);
            ASSERT_TRUE(logic.receive(kCmdEnd, later, step));
            EXPECT_EQ(step.action, Action::PowerDown);
        }
    }
    // The idle loop's tick drops it too, without a byte coming.
    UnitLogic logic;
    Step step;
    logic.receive(kCmdDataWord, 0, step);
    logic.tick(501);
    EXPECT_FALSE(logic.commandPending());
}

TEST(UnitLogic, ReceiveErrorsAndSupplyMeasurementsShowInTheReplyValue) {
    UnitLogic logic;
    Step step;
    logic.receive(kCmdDataWord, 0, step);
    logic.receive(0x12, 1, step);
    logic.receiveError(); // a garbled high byte: the operand must never reach the chip
    ASSERT_TRUE(logic.receive(kCmdNop, 2, step));
    EXPECT_EQ(step.action, Action::None);
    EXPECT_EQ(logic.takeStatus(), kDropped);
    EXPECT_EQ(logic.takeStatus(), 0) << "bits of a past reply are cleared";

    logic.powerMeasured(false, false);
    EXPECT_EQ(logic.takeStatus(), kStatusVppOutOfRange | kStatusVddOutOfRange);
    EXPECT_EQ(logic.takeStatus(), kStatusVppOutOfRange | kStatusVddOutOfRange)
        << "until the next power-up";
    logic.powerMeasured(true, true);
    EXPECT_EQ(logic.takeStatus(), 0);
}
