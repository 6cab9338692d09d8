// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/line_ends.hpp"
#include "texts/load_texts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(HexReader, FaultMessageReadsLineByLine) {
    EXPECT_EQ(crlfLines(hexLoadErrorMessage({HexLoadError::BadDataByte, 5})),
              "Input program file in Intel Hex Format contains errors.\r\n"
              "Line number 5: Invalid data byte in the record.");
    EXPECT_EQ(hexLoadErrorText(HexLoadError::NoColon),
              ": The record does not begin with ':' simbol.");
}

TEST(LoadReport, KibTextHasNoLeadingZeroAndFourCharacters) {
    EXPECT_EQ(kibText(32768), "32");
    EXPECT_EQ(kibText(1234), "1.20");
    EXPECT_EQ(kibText(1000), ".976");
    EXPECT_EQ(kibText(6), ".005");
    EXPECT_EQ(kibText(1), ".000");
    EXPECT_EQ(kibText(0), "0");
    EXPECT_EQ(kibText(1536), "1.5");
    EXPECT_EQ(crlfLines(loadReport(32768)),
              "Operation completed.\r\nTotal 32768 (32K) program bytes loaded.");
}
