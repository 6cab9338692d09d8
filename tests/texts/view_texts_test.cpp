// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/view_texts.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessaline;

namespace {

ProgramBuffer erasedBuffer(std::int32_t flash, std::int32_t eeprom) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, flash, eeprom, {});
    return buffer;
}

std::size_t lineCount(const std::string& text) {
    return text.empty() ? 0
                        : static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

} // namespace

TEST(DisplayText, FlashViewHasOneLinePerSixteenBytesAndNoFinalBreak) {
    ProgramBuffer buffer = erasedBuffer(32768, 256);
    buffer.Flash[17] = 10;
    const std::string text = flashViewText(buffer);
    EXPECT_EQ(lineCount(text), 2048u);
    EXPECT_EQ(text.size(), 116734u);
    EXPECT_EQ(text.substr(0, 7), "000000:");
    EXPECT_EQ(text.substr(57, 57), "000010: FF 0A FF FF FF FF FF FF FF FF FF FF FF FF FF FF\r\n");
    EXPECT_EQ(text.substr(text.size() - 55, 7), "007FF0:");
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(flashViewText(erasedBuffer(65536, 0)).size(), 233470u);
}

TEST(DisplayText, EepromViewHasEightBytesPerLine) {
    const std::string text = eepromViewText(erasedBuffer(16, 256));
    EXPECT_EQ(lineCount(text), 32u);
    EXPECT_EQ(text.substr(31, 29), "0008: FF FF FF FF FF FF FF FF");
    EXPECT_EQ(text.substr(text.size() - 29, 5), "00F8:");
    EXPECT_EQ(eepromViewText(erasedBuffer(16, 0)), "");
}

TEST(DisplayText, SizesOffTheLineWidthEndWithAShorterLine) {
    EXPECT_EQ(flashViewText(erasedBuffer(18, 0)),
              "000000: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\r\n000010: FF FF");
    EXPECT_EQ(eepromViewText(erasedBuffer(0, 9)), "0000: FF FF FF FF FF FF FF FF\r\n0008: FF");
    EXPECT_EQ(flashViewText(erasedBuffer(0, 0)), "");
    EXPECT_EQ(flashViewText(erasedBuffer(-4, 0)), "");
}

TEST(DisplayText, InfoLineHasTwoBlanksAfterTheComma) {
    EXPECT_EQ(infoText(32768, 256), "FLASH: 32768,  EEPROM: 256");
    EXPECT_EQ(infoText(4096, 0), "FLASH: 4096,  EEPROM: 0");
}
