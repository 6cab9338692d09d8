// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/program_buffer.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(ProgramBuffer, ResetSizesAndErasesToTheModel) {
    ProgramBuffer buffer;
    buffer.Flash.assign(10, 0x00);
    ConfigValues erased{};
    for (int k = 0; k < kConfigByteCount; ++k)
        erased[static_cast<std::size_t>(k)] = k;
    erased[3] = -1;
    ResetBuffer(buffer, 32768, 256, erased);
    EXPECT_EQ(buffer.Flash.size(), 32768u);
    EXPECT_EQ(buffer.Eeprom.size(), 256u);
    EXPECT_EQ(highestNonBlank(buffer.Flash), -1);
    EXPECT_EQ(highestNonBlank(buffer.Eeprom), -1);
    EXPECT_EQ(buffer.Config, erased);
    EXPECT_EQ(buffer.Config[3], -1);
}

TEST(ProgramBuffer, SizesBelowOneGiveEmptyImages) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, 0, -5, {});
    EXPECT_TRUE(buffer.Flash.empty());
    EXPECT_TRUE(buffer.Eeprom.empty());
    EXPECT_EQ(buffer.flashByteOrErased(0), 0xFF);
}

TEST(ProgramBuffer, ByteBeyondAnOddFlashReadsErased) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, 3, 0, {});
    buffer.Flash = {0x01, 0x02, 0x03};
    EXPECT_EQ(buffer.flashByteOrErased(2), 0x03);
    EXPECT_EQ(buffer.flashByteOrErased(3), 0xFF);
    EXPECT_EQ(highestNonBlank(buffer.Flash), 2);
}
