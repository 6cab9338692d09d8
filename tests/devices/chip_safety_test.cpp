// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/chip_safety.hpp"
#include "devices/device_table.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

namespace {

ChipSafety parsed(const std::string& keys) {
    const DeviceTable table = parseDeviceTable("model:x\r\nflash:64\r\n" + keys, "devices.cfg");
    return parseChipSafety(table.at(0));
}

} // namespace

TEST(ChipSafety, ReadsTheKeysAndNamesTheLineOfAMalformedValue) {
    const ChipSafety none = parsed("");
    EXPECT_FALSE(none.deviceId || none.configMask || none.error);
    EXPECT_EQ(none.compareMask(3), 0xFF);

    const ChipSafety safety =
        parsed("deviceid:1080 fff0\r\n"
               "configmask:00 CF 1F 1F 00 87 C5 00 0F C0 0F E0 0F 40\r\n"
               "protect:5H6 000000-0007FF, 5l1 2000-3fff,5H7 F00000-F000FF\r\n");
    ASSERT_FALSE(safety.error) << *safety.error;
    EXPECT_TRUE(safety.deviceId->matches(0x1083));
    EXPECT_FALSE(safety.deviceId->matches(0x1093)); // REV4 tells a 4523 from a 4520
    EXPECT_EQ(safety.compareMask(1), 0xCF);
    ASSERT_EQ(safety.protection.size(), 3u);
    EXPECT_EQ(safety.protection[1].configIndex, 8u);
    EXPECT_EQ(safety.protection[1].bit, 1);
    EXPECT_EQ(safety.protection[1].first, 0x2000);

    const struct {
        const char* keys;
        const char* error;
    } rows[] = {
        {"\r\ndeviceid:04Z0 FFE0", "devices.cfg:4: The deviceid value '04Z0 FFE0' is not of the "
                                   "form 'ID MASK' in hexadecimal (0420 FFE0)."},
        {"configmask:00 27 0F", "devices.cfg:3: The configmask value '00 27 0F' is not of the "
                                "form 14 hexadecimal pairs, CONFIG1L to CONFIG7H."},
        {"protect:5L0 000200-001FFF,5Q0 0-1", "devices.cfg:3: The protect value '5Q0 0-1' is not "
                                              "of the form 'BIT FIRST-LAST' (5L0 000800-001FFF, "
                                              "optionally 'if 4L&30=00')."},
        {"protect:5L0 2000-1FFF", nullptr},
        {"protect:5L0 000800-001FFF if 4L=30", nullptr},
    };
    for (const auto& row : rows) {
        const ChipSafety bad = parsed(row.keys);
        ASSERT_TRUE(bad.error) << row.keys;
        if (row.error) {
            EXPECT_EQ(*bad.error, row.error);
        }
    }
}

// A bit protects its addresses while it is 0, exists in the mask, and the condition on
// other bits holds (the boot block size of BBSIZ).
TEST(ChipSafety, ProtectsWhereTheConfigurationSaysSo) {
    const ChipSafety safety =
        parsed("configmask:00 CF 1F 1F 00 86 F5 00 07 40 07 E0 07 40\r\n"
               "protect:5H6 000000-0007FF if 4L&30=00,5H6 000000-000FFF if 4L&30=10,"
               "5L0 001000-003FFF if 4L&30=10,5H7 F00000-F003FF\r\n");
    ConfigValues config{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                        0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
    EXPECT_FALSE(safety.protects(config, 0x0000));
    config[9] = 0x00; // CPB and CPD programmed; CPD is not in this mask
    EXPECT_TRUE(safety.protects(config, 0x07FF));
    EXPECT_FALSE(safety.protects(config, 0x0800));
    EXPECT_FALSE(safety.protects(config, 0xF00000));
    config[6] = 0x95; // BBSIZ = 01: the boot block reaches 0FFFh
    EXPECT_TRUE(safety.protects(config, 0x0800));
    EXPECT_FALSE(safety.protects(config, 0x1000));
}
