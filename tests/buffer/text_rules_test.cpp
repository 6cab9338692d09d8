// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/text_rules.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(LenientNumber, ReadsTheLeadingNumberOnly) {
    struct Row {
        const char* text;
        double expected;
    };
    const Row rows[] = {
        {"32768", 32768}, {"  256", 256}, {"12abc", 12}, {"abc", 0},         {"", 0},
        {"-3", -3},       {"+7", 7},      {"2.5", 2.5},  {".5x", 0.5},       {"5.", 5},
        {"1 2", 1},       {"-", 0},       {"0x10", 0},   {"9600.5", 9600.5},
    };
    for (const Row& row : rows)
        EXPECT_DOUBLE_EQ(leadingNumber(row.text), row.expected) << row.text;
}

TEST(LenientNumber, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(leadingWholeNumber("2.5"), 2);
    EXPECT_EQ(leadingWholeNumber("3.5"), 4);
    EXPECT_EQ(leadingWholeNumber("-2.5"), -2);
    EXPECT_EQ(leadingWholeNumber("2.51"), 3);
    EXPECT_EQ(leadingWholeNumber("99999999999"), 2147483647);
    EXPECT_EQ(leadingWholeNumber("-99999999999"), -2147483647 - 1);
}
