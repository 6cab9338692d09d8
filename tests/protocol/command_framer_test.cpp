// SPDX-License-Identifier: GPL-3.0-or-later
// The framing of the host's bytes into commands that every reader of them shares: the
// argument counts, bytes outside the command set, and the partial-command rule.
#include "protocol/command_framer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaline;

namespace {

struct Timed {
    int byte;
    std::uint32_t ms;
};

// What the framer made of each byte: '.' more to come, 'C' a command complete, 'x' not a
// command; a '!' before it when a partial command was dropped first.
std::string frame(CommandFramer& framer, const std::vector<Timed>& bytes) {
    std::string seen;
    for (const Timed& timed : bytes) {
        const CommandFramer::Event event =
            framer.take(static_cast<std::uint8_t>(timed.byte), timed.ms);
        if (framer.dropped())
            seen += '!';
        seen += event == CommandFramer::kComplete     ? 'C'
                : event == CommandFramer::kMoreToCome ? '.'
                                                      : 'x';
    }
    return seen;
}

} // namespace

TEST(CommandFramer, FramesCommandsDropsStrangersAndCommandsCutShort) {
    struct Row {
        const char* what;
        std::uint16_t partialMs;
        std::vector<Timed> bytes;
        const char* seen;
    };
    const Row rows[] = {
        {"each command with its arguments",
         500,
         {{100, 0},
          {101, 0},
          {102, 0},
          {103, 0},
          {107, 0},
          {0x0D, 0},
          {108, 0},
          {1, 0},
          {2, 0},
          {109, 0},
          {110, 0},
          {111, 0},
          {5, 0}},
         "CCCC.C..CCC.C"},
        {"bytes outside the command set where a command is due",
         500,
         {{104, 0}, {105, 0}, {106, 0}, {0, 0}, {99, 0}, {112, 0}, {255, 0}, {100, 0}},
         "xxxxxxxC"},
        {"an argument byte may have any value", 500, {{108, 0}, {104, 0}, {255, 0}}, "..C"},
        {"500 counts of quiet keep a partial command, 501 drop it",
         500,
         {{108, 0}, {1, 500}, {2, 1000}, {108, 2000}, {1, 2501}, {100, 2501}},
         "..C.!xC"},
        {"the reference unit's own commands are strangers to an original unit",
         500,
         {{0xE0, 0}, {0xE4, 0}, {100, 0}},
         "xxC"},
        {"a partial-command time of 0 keeps it however long", 0, {{107, 0}, {0, 60000}}, ".C"},
    };
    for (const Row& row : rows) {
        CommandFramer framer(CommandSet::Original, row.partialMs);
        EXPECT_EQ(frame(framer, row.bytes), row.seen) << row.what;
    }
}

TEST(CommandFramer, TheReferenceUnitTakesItsOwnCommandsWithTheirArguments) {
    CommandFramer framer(CommandSet::Reference);
    EXPECT_EQ(frame(framer, {{0xE0, 0}, {0xE4, 0}, {0x4C, 0}, {0x04, 0}, {104, 0}}), "C..Cx");
    EXPECT_EQ(framer.operand(), 1100);
}

TEST(CommandFramer, TellsTheCommandItsArgumentsAndWhatWasDropped) {
    CommandFramer framer;
    framer.take(108, 0);
    framer.take(0x34, 1);
    EXPECT_EQ(framer.position(), 1);
    ASSERT_EQ(framer.take(0x12, 2), CommandFramer::kComplete);
    EXPECT_EQ(framer.command(), 108);
    EXPECT_EQ(framer.operand(), 0x1234);
    EXPECT_EQ(framer.position(), 2);

    framer.take(111, 10);
    EXPECT_TRUE(framer.partial());
    EXPECT_FALSE(framer.expire(510));
    EXPECT_TRUE(framer.expire(511));
    EXPECT_FALSE(framer.partial());

    framer.take(107, 600);
    EXPECT_TRUE(framer.drop());
    EXPECT_FALSE(framer.drop());
    EXPECT_EQ(framer.take(0, 601), CommandFramer::kNotACommand);
}
