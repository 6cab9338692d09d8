// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"

#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(DeviceTable, KeyLinesFillTheNewestRecordInAnyOrder) {
    const DeviceTable table = parseDeviceTable("flash:999\r\n"
                                               "model:18f452\r\n"
                                               "eeprom:256\r\n"
                                               "flash:100\r\n"
                                               "flash: 32768 \r\n"
                                               "; a comment\r\n"
                                               "\r\n"
                                               "model:18F2520\r"
                                               "verify:begin,END\n"
                                               "program:x");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].model, "18f452");
    EXPECT_EQ(table[0].flash, " 32768 ");
    EXPECT_EQ(table[0].eeprom, "256");
    EXPECT_EQ(table[0].verify, "");
    EXPECT_EQ(table[1].model, "18F2520");
    EXPECT_EQ(table[1].verify, "begin,END");
    EXPECT_EQ(table[1].program, "x");
}

TEST(DeviceTable, KeysCountOnlyExactlyInTheFirstColumn) {
    const DeviceTable table = parseDeviceTable("Model:A\n"
                                               " model:B\n"
                                               "models:C\n"
                                               "model:D\n"
                                               "FLASH:1\n"
                                               " flash:2\n"
                                               "configerased:00 01\n");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].model, "D");
    EXPECT_EQ(table[0].flash, "");
    EXPECT_EQ(table[0].configerased, "00 01");
}

TEST(DeviceTable, FileWithoutModelGivesEmptyTable) {
    EXPECT_TRUE(parseDeviceTable("flash:1\r\neeprom:2\r\n").empty());
    EXPECT_TRUE(parseDeviceTable("").empty());
}

TEST(DeviceTable, LoadReadsAFileAndReportsAMissingOne) {
    test::TempFolder folder;
    folder.write("devices.cfg", "model:18F452\r\nflash:32768\r\n");
    const auto table = LoadDeviceTable(folder.file("devices.cfg"));
    ASSERT_TRUE(table.has_value());
    ASSERT_EQ(table->size(), 1u);
    EXPECT_EQ((*table)[0].flash, "32768");
    EXPECT_FALSE(LoadDeviceTable(folder.file("missing.cfg")).has_value());
}

TEST(DeviceTable, ShippedFileDescribesCommonModels) {
    const auto table = LoadDeviceTable(TESSALINE_SOURCE_DIR "/devices.cfg");
    ASSERT_TRUE(table.has_value());
    ASSERT_GE(table->size(), 16u);
    EXPECT_EQ((*table)[0].model, "18F452");
    for (const char* name :
         {"18F242", "18F252", "18F442", "18F452", "18F1220", "18F1320", "18F2420", "18F2520",
          "18F4420", "18F4520", "18F2455", "18F2550", "18F4455", "18F4550", "18F2620", "18F4620"}) {
        bool found = false;
        for (const DeviceModel& model : *table)
            found = found || model.model == name;
        EXPECT_TRUE(found) << name;
    }
    // Every record is whole: its sizes and time are plain numbers, its optional keys
    // well formed.
    for (const DeviceModel& model : *table) {
        SelectedModelValues values;
        ApplySelectedModel(model, values);
        EXPECT_FALSE(values.Safety.error) << *values.Safety.error;
    }
}
