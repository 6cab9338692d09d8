// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_text.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(HexText, WritersKeepTheLowBitsWithLeadingZeros) {
    EXPECT_EQ(Hex2(0), "00");
    EXPECT_EQ(Hex2(10), "0A");
    EXPECT_EQ(Hex2(-1), "FF");
    EXPECT_EQ(Hex2(256), "00");
    EXPECT_EQ(Hex4(0x1234), "1234");
    EXPECT_EQ(Hex4(65536), "0000");
    EXPECT_EQ(Hex4(-2), "FFFE");
    EXPECT_EQ(Hex6(0xF00000), "F00000");
    EXPECT_EQ(Hex6(0x1000001), "000001");
}

TEST(HexText, ParsersAcceptOnlyUpperCaseDigitsOfExactWidth) {
    struct Row {
        const char* text;
        int width;
        std::int32_t expected;
    };
    const Row rows[] = {
        {"0A", 2, 10},
        {"0a", 2, -1},
        {"A", 2, -1},
        {" 1", 2, -1},
        {"FF", 2, 255},
        {"G0", 2, -1},
        {"-1", 2, -1},
        {"", 2, -1},
        {"123", 2, -1},
        {"1234", 4, 0x1234},
        {"12G4", 4, -1},
        {"123", 4, -1},
        {"FFFF", 4, 65535},
        {"F00000", 6, 15728640},
        {"3FFFFF", 6, 0x3FFFFF},
        {"00000g", 6, -1},
        {"0000000", 6, -1},
    };
    for (const Row& row : rows) {
        const std::int32_t result = row.width == 2   ? ParseHex2(row.text)
                                    : row.width == 4 ? ParseHex4(row.text)
                                                     : ParseHex6(row.text);
        EXPECT_EQ(result, row.expected) << row.text;
    }
}

TEST(HexText, RecordChecksumMatchesIntelHexExamples) {
    EXPECT_EQ(HexRecordChecksum("00000001"), "FF");
    EXPECT_EQ(HexRecordChecksum("020000040030"), "CA");
    EXPECT_EQ(HexRecordChecksum(""), "00");
    EXPECT_EQ(HexRecordChecksum("0200000400F0"), "0A");
    EXPECT_EQ(HexRecordChecksum("04000000123456FF"), "61");
    // A final odd digit is ignored; a piece that does not parse counts as -1.
    EXPECT_EQ(HexRecordChecksum("000000011"), "FF");
    EXPECT_EQ(HexRecordChecksum("0g"), "01");
}
