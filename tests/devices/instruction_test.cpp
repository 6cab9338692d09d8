// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/instruction.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(Instruction, DecodesInDispatchOrder) {
    struct Row {
        const char* word;
        Op op;
        std::int32_t code;
        std::int32_t config;
    };
    const Row rows[] = {
        {"begin", Op::Begin, -1, -1},
        {"s0d-flash", Op::WriteFlash, 0x0D, -1},
        {"sfx-anything-flash", Op::WriteFlash, -1, -1},
        {"s0f-config7h", Op::WriteConfig, 0x0F, 13},
        {"s0f-flash-config1l", Op::WriteConfig, 0x0F, 0},
        {"waitwr", Op::WaitWr, -1, -1},
        {"flash=s09", Op::ReadFlash, 0x09, -1},
        {"eeprom=s02", Op::ReadEeprom, 0x02, -1},
        {"config3h=s0b", Op::ReadConfig, 0x0B, 5},
        {"temp=s0A", Op::ReadTemp, 0x0A, -1},
        {"checkblankconfig6l", Op::CheckBlankConfig, -1, 10},
        {"checkconfig4h", Op::CheckConfig, -1, 7},
        {"checkflash=s09", Op::ReadCheckFlash, 0x09, -1},
        {"checkblankflash=s08", Op::ReadCheckBlankFlash, 0x08, -1},
        {"checkeeprom=s02", Op::ReadCheckEeprom, 0x02, -1},
        {"checkblankeeprom=s0x", Op::ReadCheckBlankEeprom, -1, -1},
        {"checkconfig7l=s09", Op::ReadCheckConfig, 0x09, 12},
        {"checkblankconfig1h=s09", Op::ReadCheckBlankConfig, 0x09, 1},
        {"ifverify", Op::IfVerify, -1, -1},
        {"endverify", Op::EndVerify, -1, -1},
        {"s0c-8f8f", Op::Raw, 0x0C, -1},
        {"s0c-flash", Op::WriteFlash, 0x0C, -1},
        {"wait", Op::Wait, -1, -1},
        {"waitwr ", Op::Wait, -1, -1},
        {" begin", Op::Unrecognized, -1, -1},
        {"s00-0e0", Op::Unrecognized, -1, -1},
    };
    for (const Row& row : rows) {
        const Instruction decoded = decodeInstruction(row.word);
        EXPECT_EQ(decoded.op, row.op) << row.word;
        EXPECT_EQ(decoded.code, row.code) << row.word;
        EXPECT_EQ(decoded.configIndex, row.config) << row.word;
    }
    EXPECT_EQ(decodeInstruction("s0c-8f8f").operand, 0x8F8F);
}
