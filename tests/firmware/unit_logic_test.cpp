// SPDX-License-Identifier: GPL-3.0-or-later
// The reference unit's protocol logic, compiled for the host: argument counts, the actions
// each command asks for, the refusals and the silence they bring, garbled and lost bytes,
// the supply check, the partial-command timeout and the probe.
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
    int value; // 103: kFramed when it completes a core instruction's frame first
    int reply;
};

constexpr int kQuiet = -1;   // the line is quiet for 50 ms
constexpr int kGarbled = -2; // a byte comes in with a framing error
constexpr int kRefused = kStatusRefused;
constexpr int kDropped = kStatusReceiveError;

constexpr int kFramed = 0x100;

// Feeds the bytes a millisecond apart; every command to be run is run at once, its
// power-up with `supplies` measured, and answered.
std::vector<Expected> run(UnitLogic& logic, const std::vector<int>& bytes,
                          std::uint8_t supplies = 0) {
    std::vector<Expected> steps;
    std::uint32_t now = 0;
    for (const int byte : bytes) {
        now += byte == kQuiet ? 50 : 1;
        Step step;
        if (byte == kGarbled)
            logic.receiveError(now);
        if (byte < 0 || !logic.receive(static_cast<std::uint8_t>(byte), now, step))
            continue;
        if (step.action == Action::PowerUp && !logic.powerUp(supplies))
            continue;
        const int value = step.completeFrame ? kFramed : step.value;
        steps.push_back({step.command, step.action, value, logic.takeReply()});
    }
    return steps;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.command == b.command && a.action == b.action && a.value == b.value &&
           a.reply == b.reply;
}

void PrintTo(const Expected& step, std::ostream* out) {
    *out << "{" << step.command << ", action " << static_cast<int>(step.action) << ", value "
         << step.value << ", reply " << step.reply << "}";
}

struct Row {
    const char* what;
    std::vector<int> bytes;
    std::vector<Expected> steps;
};

void runRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        UnitLogic logic;
        EXPECT_EQ(run(logic, row.bytes), row.steps) << row.what;
    }
}

const Expected kUp{101, Action::PowerUp, 0, 0};
const Expected kCode0D{107, Action::CommandCode, 0xD, 0};
const Expected kNop{100, Action::None, 0, 0};

} // namespace

TEST(UnitLogic, EveryCommandTakesItsArgumentsAndARefusalSilencesTheUnitUntil103) {
    runRows({
        {"a write transfer",
         {101, 107, 0x0D, 108, 0x34, 0x12, 103},
         {kUp, kCode0D, {108, Action::Operand, 0x1234, 0}, {103, Action::PowerDown, 0, 0}}},
        {"a read",
         {101, 107, 0x09, 110, 100},
         {kUp, {107, Action::CommandCode, 9, 0}, {110, Action::Read, 0, 0}, kNop}},
        {"the pulse carries the programming time of the last 111",
         {111, 5, 101, 109, 111, 7, 109},
         {{111, Action::None, 0, 0},
          kUp,
          {109, Action::Pulse, 5, 0},
          {111, Action::None, 0, 0},
          {109, Action::Pulse, 7, 0}}},
        {"a byte outside the command set; a 103 without quiet before it is dropped too",
         {104, 100, 103, kQuiet, 103, 100},
         {{103, Action::PowerDown, 0, kDropped}, kNop}},
        {"nothing is clocked while unpowered",
         {107, 0, kQuiet, 103, 108, 0, 0, kQuiet, 103, 109, kQuiet, 103, 110, kQuiet, 103},
         {{103, Action::PowerDown, 0, kRefused},
          {103, Action::PowerDown, 0, kRefused},
          {103, Action::PowerDown, 0, kRefused},
          {103, Action::PowerDown, 0, kRefused}}},
        {"an operand after a read code",
         {101, 107, 8, 108, 1, 2, kQuiet, 103},
         {kUp, {107, Action::CommandCode, 8, 0}, {103, Action::PowerDown, 0, kRefused}}},
        {"a read after a write code, a pulse while a core instruction waits: 103 completes "
         "its frame",
         {101, 107, 0xC, 110, kQuiet, 103, 101, 107, 0, 109, kQuiet, 103},
         {kUp,
          {107, Action::CommandCode, 0xC, 0},
          {103, Action::PowerDown, 0, kRefused},
          kUp,
          {107, Action::CommandCode, 0, 0},
          {103, Action::PowerDown, kFramed, kRefused}}},
        {"a code while one waits, beyond 4 bits, or no programming command",
         {101, 107, 0, 107, 9, kQuiet, 103, 101, 107, 16, kQuiet, 103, 101, 107, 1, kQuiet, 103},
         {kUp,
          {107, Action::CommandCode, 0, 0},
          {103, Action::PowerDown, kFramed, kRefused},
          kUp,
          {103, Action::PowerDown, 0, kRefused},
          kUp,
          {103, Action::PowerDown, 0, kRefused}}},
        {"a power-up on top of one leaves the code that waits to the 103 after it",
         {101, 107, 0, 101, 110, kQuiet, 103},
         {kUp, {107, Action::CommandCode, 0, 0}, {103, Action::PowerDown, kFramed, kRefused}}},
        {"a power-up on top of one, 102, and a programming time of 0",
         {101, 101, kQuiet, 103, 102, kQuiet, 103, 111, 0, kQuiet, 103},
         {kUp,
          {103, Action::PowerDown, 0, kRefused},
          {103, Action::PowerDown, 0, kRefused | kStatusNoVppFirst},
          {103, Action::PowerDown, 0, kRefused}}},
        {"the report and the calibration, only while powered down and in range",
         {0xE0, 0xE4, 0x4C, 0x04, 101, 0xE0, kQuiet, 103, 0xE4, 0xE7, 0x03, kQuiet, 103},
         {{0xE0, Action::Report, 0, 0},
          {0xE4, Action::Calibrate, 1100, 0},
          kUp,
          {103, Action::PowerDown, 0, kRefused},
          {103, Action::PowerDown, 0, kRefused}}},
    });
}

// A byte garbled on the line, or lost, must never leave the rest of its command to be
// run as commands: the unit answers nothing until a 103 after a quiet line, and then
// takes clean commands again.
TEST(UnitLogic, AGarbledOrLostByteSilencesTheUnitUntil103) {
    const Expected cut{103, Action::PowerDown, 0, kDropped};
    runRows({
        {"the command byte garbled",
         {101, 107, 0x0D, kGarbled, 0x34, 0x12, 103, kQuiet, 103, 100},
         {kUp, kCode0D, cut, kNop}},
        {"a middle byte garbled",
         {101, 107, 0x0D, 108, kGarbled, 0x12, kQuiet, 103, 100},
         {kUp, kCode0D, cut, kNop}},
        {"the last byte garbled",
         {101, 107, 0x0D, 108, 0x34, kGarbled, kQuiet, 103, 100},
         {kUp, kCode0D, cut, kNop}},
        {"108 lost before 67 00: 67h ends the session, 00 silences the unit",
         {101, 107, 0x0D, 0x67, 0x00, 107, 0x0D, kQuiet, 103},
         {kUp, kCode0D, {103, Action::PowerDown, 0, 0}, {103, Action::PowerDown, 0, kDropped}}},
        {"108 lost before 65 00: no power-up on top of one",
         {101, 107, 0x0D, 0x65, 0x00, 107, 0x0D, kQuiet, 103},
         {kUp, kCode0D, {103, Action::PowerDown, 0, kRefused}}},
    });
}

TEST(UnitLogic, TheSupplyCheckRefusesAPowerUpAndItsBitsLastUntilTheReplyTo103) {
    struct Supplies {
        const char* what;
        std::uint16_t vpp;
        std::uint16_t vdd;
        bool lowVoltage;
        bool switchedOn;
        int status;
    };
    const Supplies rows[] = {
        {"high-voltage entry, good", 1100, 0, false, false, 0},
        {"VPP 13.6 V", 1360, 0, false, false, kStatusVppOutOfRange},
        {"VPP 9.0 V", 900, 0, false, false, kStatusVppOutOfRange},
        {"J1 on +5 V for high-voltage entry", 500, 0, false, false, kStatusJumpersDisagree},
        {"J1 on the boost module for low-voltage entry", 1100, 0, true, false,
         kStatusJumpersDisagree},
        {"low-voltage entry, good", 500, 0, true, false, 0},
        {"a target with its own 5 V", 1100, 500, false, false, kStatusSelfPowered},
        {"a target with its own 3.3 V", 1100, 330, false, false,
         kStatusSelfPowered | kStatusVddOutOfRange},
        {"VDD 4.4 V once switched on", 1100, 440, false, true, kStatusVddOutOfRange},
        {"VDD 5.0 V once switched on", 1100, 500, false, true, 0},
    };
    for (const Supplies& row : rows)
        EXPECT_EQ(supplyStatus(row.vpp, row.vdd, row.lowVoltage, row.switchedOn), row.status)
            << row.what;
    // A full-scale reading at the nominal reference, and at a calibrated one.
    EXPECT_EQ(senseCentivolts(1023, 1100, Sense::Vpp), 1450);
    EXPECT_EQ(senseCentivolts(1023, 1000, Sense::Vdd), 569);

    UnitLogic refused;
    EXPECT_EQ(
        run(refused, {101, 107, 0, 103, kQuiet, 103, 100}, kStatusVddOutOfRange),
        (std::vector<Expected>{{103, Action::PowerDown, 0, kRefused | kStatusVddOutOfRange}, kNop}))
        << "nothing but a 103 after quiet until then; the bits go with its reply";

    UnitLogic own;
    EXPECT_EQ(run(own, {101, 100, 103, 100}, kStatusSelfPowered),
              (std::vector<Expected>{{101, Action::PowerUp, 0, kStatusSelfPowered},
                                     {100, Action::None, 0, kStatusSelfPowered},
                                     {103, Action::PowerDown, 0, kStatusSelfPowered},
                                     kNop}))
        << "a warning: the session goes on";
}

// The program gives up on a reply after 2 s and sends 103: the unit must read it as a
// command, not as the missing argument of the command before.
TEST(UnitLogic, ACommandWhoseArgumentsStopComingFor500msSilencesTheUnit) {
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
            EXPECT_TRUE(logic.silent());
            ASSERT_TRUE(logic.receive(kCmdEnd, later + 11, step));
            EXPECT_EQ(step.action, Action::PowerDown);
            EXPECT_EQ(logic.takeReply(), kDropped);
        }
    }
    // The idle loop's tick does it too, without a byte coming.
    UnitLogic logic;
    Step step;
    logic.receive(kCmdDataWord, 0, step);
    logic.tick(501);
    EXPECT_TRUE(logic.silent());
}

// Three 111 commands in a row while powered down, with distinct times of 1 to 30 ms: the
// third is answered with a signature of all three, and each triple gets its own.
TEST(UnitLogic, TheProbeAnswersEachTripleWithItsSignature) {
    const int first = unitProbeSignature(4, 17, 29);
    const int second = unitProbeSignature(30, 1, 12);
    EXPECT_NE(first, second);
    EXPECT_GE(first, 0x80);
    const Expected time{111, Action::None, 0, 0};
    const auto answered = [](int signature) { return Expected{111, Action::None, 0, signature}; };
    runRows({
        {"two triples",
         {111, 4, 111, 17, 111, 29, 111, 30, 111, 1, 111, 12},
         {time, time, answered(first), time, time, answered(second)}},
        {"another command between restarts it",
         {111, 4, 111, 17, 100, 111, 29, 111, 5},
         {time, time, kNop, time, time}},
        {"a repeated time restarts it",
         {111, 4, 111, 4, 111, 17, 111, 29},
         {time, time, time, answered(first)}},
        {"a time beyond 30 ms, or powered",
         {111, 4, 111, 31, 111, 29, 101, 111, 4, 111, 17, 111, 29},
         {time, time, time, kUp, time, time, time}},
    });
    UnitLogic logic;
    run(logic, {111, 4, 111, 17, 111, 29});
    EXPECT_EQ(logic.progTimeMs(), 29);
}
