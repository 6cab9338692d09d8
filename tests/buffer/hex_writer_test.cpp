// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_reader.hpp"
#include "buffer/hex_writer.hpp"
#include "texts/load_texts.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace tessaline;

namespace {

ProgramBuffer erased(std::int32_t flash, std::int32_t eeprom, std::int32_t configValue = 0xFF) {
    ProgramBuffer buffer;
    ConfigValues config{};
    config.fill(configValue);
    ResetBuffer(buffer, flash, eeprom, config);
    return buffer;
}

} // namespace

TEST(HexWriter, WorkedExampleToTheByte) {
    ProgramBuffer buffer = erased(32768, 256);
    buffer.Flash[0] = 0x12;
    buffer.Flash[1] = 0x34;
    buffer.Flash[2] = 0x56;
    buffer.Eeprom[0] = 0xAB;
    EXPECT_EQ(writeHexText(buffer), ":020000040000FA\r\n"
                                    ":04000000123456FF61\r\n"
                                    ":020000040030CA\r\n"
                                    ":0E000000FFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
                                    ":0200000400F00A\r\n"
                                    ":01000000AB54\r\n"
                                    ":00000001FF\r\n");
}

TEST(HexWriter, ErasedBufferGivesThreeLines) {
    EXPECT_EQ(writeHexText(erased(32768, 256, 0x00)),
              ":020000040030CA\r\n:0E0000000000000000000000000000000000F2\r\n:00000001FF\r\n");
}

TEST(HexWriter, FlashEndsOnAWholeWord) {
    ProgramBuffer even = erased(64, 0);
    even.Flash[16] = 0x00;
    const std::string evenText = writeHexText(even);
    EXPECT_NE(evenText.find(":02001000"
                            "00FFEF\r\n"),
              std::string::npos)
        << evenText;
    ProgramBuffer odd = erased(64, 0);
    odd.Flash[17] = 0x00;
    EXPECT_NE(writeHexText(odd).find(":02001000FF00EF\r\n"), std::string::npos);
}

TEST(HexWriter, OddFlashSizeWritesFFPastTheEnd) {
    ProgramBuffer buffer = erased(3, 0);
    buffer.Flash[2] = 0x42;
    EXPECT_EQ(writeHexText(buffer).substr(0, 34), ":020000040000FA\r\n:0400000"
                                                  "0FFFF42FF");
}

TEST(HexWriter, SecondSegmentGetsItsOwnExtendedAddress) {
    ProgramBuffer buffer = erased(131072, 0);
    buffer.Flash[0x10001] = 0x77;
    const std::string text = writeHexText(buffer);
    const std::size_t marker = text.find(":020000040001F9\r\n");
    ASSERT_NE(marker, std::string::npos);
    EXPECT_EQ(text.substr(marker + 17, 17), ":02000000FF7788\r\n");
    EXPECT_EQ(text.substr(marker - 45, 11), ":10FFF000FF");
}

TEST(HexWriter, EepromCountIsNotMadeEven) {
    ProgramBuffer buffer = erased(64, 256);
    buffer.Eeprom[5] = 0x01;
    EXPECT_NE(writeHexText(buffer).find(":0200000400F00A\r\n:06000000FFFFFFFFFF01FE\r\n"),
              std::string::npos);
}

TEST(HexWriter, WrittenFileReadsBackIntoTheSameBuffer) {
    std::mt19937 random(7);
    for (std::int32_t flashSize : {64, 4096, 131072}) {
        ProgramBuffer original = erased(flashSize, 1024, 0x5A);
        for (std::size_t i = 0; i < original.Flash.size(); i += 1 + random() % 97)
            original.Flash[i] = static_cast<std::uint8_t>(random());
        for (std::size_t i = 0; i < original.Eeprom.size(); i += 1 + random() % 13)
            original.Eeprom[i] = static_cast<std::uint8_t>(random());
        for (std::int32_t& value : original.Config)
            value = static_cast<std::int32_t>(random() % 256);
        ProgramBuffer loaded = erased(flashSize, 1024, 0x5A);
        const HexReadResult result = readHexText(writeHexText(original), loaded);
        ASSERT_TRUE(result.ok()) << hexLoadErrorMessage(result);
        EXPECT_EQ(loaded.Flash, original.Flash);
        EXPECT_EQ(loaded.Eeprom, original.Eeprom);
        EXPECT_EQ(loaded.Config, original.Config);
        EXPECT_EQ(loaded.LoadedFlashTop % 2, 0);
    }
}
