// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_reader.hpp"
#include "buffer/hex_text.hpp"
#include "texts/load_texts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

namespace {

// 64 bytes of FLASH, 16 of EEPROM, configuration erased to 00..0D.
ProgramBuffer smallBuffer() {
    ProgramBuffer buffer;
    ConfigValues erased{};
    for (int k = 0; k < kConfigByteCount; ++k)
        erased[static_cast<std::size_t>(k)] = k;
    ResetBuffer(buffer, 64, 16, erased);
    return buffer;
}

} // namespace

TEST(HexReader, EachFaultNamesItsKindAndLine) {
    struct Row {
        const char* text;
        HexLoadError error;
        std::int32_t line;
    };
    const Row rows[] = {
        {" :00000001FF", HexLoadError::NoColon, 1},
        {"\r\n:0000000\r\n", HexLoadError::TooShort, 2},
        {":0100000012EC", HexLoadError::BadChecksum, 1},
        {":0100000012ed", HexLoadError::BadChecksum, 1},              // lower-case digits
        {"; comment\n\n:00000003FD", HexLoadError::BadRecordType, 3}, // type 03
        {":020000040030CA\n:0200000400300000CA", HexLoadError::BadType04, 2},
        {":020001040000F9", HexLoadError::BadType04, 1}, // address not 0000
        {":020000020001FB", HexLoadError::BadType02, 1}, // value not ending in 0
        {":020010020010DC", HexLoadError::BadType02, 1}, // address not 0000
        {":0100000012ED\n:0200000012EC", HexLoadError::ByteCountMismatch, 2},
        {":010000001GD8", HexLoadError::BadChecksum, 1},
        {":010040001CA3", HexLoadError::AddressOutOfRange, 1},                  // FLASH ends at 3F
        {":04003E00010203FFB9", HexLoadError::AddressOutOfRange, 1},            // runs past FLASH
        {":0200000400F00A\n:01001000AA45", HexLoadError::AddressOutOfRange, 2}, // EEPROM 16
        {":0200000480007A\n:0100000012ED", HexLoadError::AddressOutOfRange, 2},
        {":020000040020DA\n:01000800AA4D", HexLoadError::AddressOutOfRange, 2}, // past IDs
    };
    for (const Row& row : rows) {
        ProgramBuffer buffer = smallBuffer();
        const HexReadResult result = readHexText(row.text, buffer);
        EXPECT_EQ(result.error, row.error) << row.text;
        EXPECT_EQ(result.lineNumber, row.line) << row.text;
    }
}

TEST(HexReader, UnparsableFieldsBehindAGoodChecksumAreNamed) {
    // A checksum over pieces that do not parse counts each as -1, so these pass the
    // checksum test and fail on their own field.
    struct Row {
        std::string body;
        HexLoadError error;
    };
    const Row rows[] = {
        {"G1000000AA", HexLoadError::BadByteCount},
        {"0100G000AA", HexLoadError::BadAddress},
        {"010000G0AA", HexLoadError::BadRecordType},
        {"01000000G1", HexLoadError::BadDataByte},
    };
    for (const Row& row : rows) {
        ProgramBuffer buffer = smallBuffer();
        const std::string line = ":" + row.body + HexRecordChecksum(row.body);
        EXPECT_EQ(readHexText(line, buffer).error, row.error) << line;
    }
}

TEST(HexReader, MapsThePic18AddressSpace) {
    ProgramBuffer buffer = smallBuffer();
    const HexReadResult result = readHexText(":0300010012345660\r\n"
                                             ":020000040020DA\r\n"
                                             ":080000000102030405060708D4\r\n"
                                             ":020000040030CA\r\n"
                                             ":100000001112131415161718191A1B1C1D1E1F2068\r\n"
                                             ":02000004003FBB\r\n"
                                             ":02FFFE00AABB9C\r\n"
                                             ":0200000400F00A\r\n"
                                             ":01000F00CC24\r\n"
                                             ":0400000500000000F7\r\n"
                                             ":00000001FF\r\n"
                                             "garbage after the end\r\n",
                                             buffer);
    ASSERT_TRUE(result.ok()) << hexLoadErrorMessage(result);
    EXPECT_EQ(buffer.Flash[0], 0xFF);
    EXPECT_EQ(buffer.Flash[1], 0x12);
    EXPECT_EQ(buffer.Flash[3], 0x56);
    EXPECT_EQ(buffer.LoadedFlashTop, 4);
    for (int k = 0; k < kConfigByteCount; ++k)
        EXPECT_EQ(buffer.Config[static_cast<std::size_t>(k)], 0x11 + k);
    EXPECT_EQ(buffer.Eeprom[15], 0xCC);
}

TEST(HexReader, ExtendedAddressesAddUp) {
    ProgramBuffer buffer = smallBuffer();
    // 200000h from the linear record, FFF00h from the segment and 100h from the record
    // make 300000h, CONFIG1L.
    ASSERT_TRUE(readHexText(":020000040020DA\n:02000002FFF00D\n:01010000AA54", buffer).ok());
    EXPECT_EQ(buffer.Config[0], 0xAA);
    // Linear F0h with a large segment stays exact and out of range.
    ProgramBuffer other = smallBuffer();
    EXPECT_EQ(readHexText(":02000004FFFFFC\n:02000002FFF00D\n:01000500AA50", other).error,
              HexLoadError::AddressOutOfRange);
}

TEST(HexReader, EmptyDataRecordsAndFilesWithoutEndAreAccepted) {
    ProgramBuffer buffer = smallBuffer();
    const HexReadResult result = readHexText(":00001000F0   \n:01000000AB54", buffer);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(buffer.Flash[0], 0xAB);
}

TEST(HexReader, NoEepromMeansEepromDataIsOutOfRange) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, 64, 0, {});
    EXPECT_EQ(readHexText(":0200000400F00A\n:01000000AB54", buffer).error,
              HexLoadError::AddressOutOfRange);
}
