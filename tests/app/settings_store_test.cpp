// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_store.hpp"

#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(SettingsStore, MissingValueReturnsAndStoresTheDefault) {
    test::TempFolder folder;
    SettingsStore store(QString::fromStdString(folder.file("settings.ini")));
    EXPECT_EQ(store.ReadSetting("Serial Port Number", "2"), "2");
    // The second read finds the stored default, whatever default it is given.
    EXPECT_EQ(store.ReadSetting("Serial Port Number", "7"), "2");
}

TEST(SettingsStore, ValuesUpTo254CharactersRoundTrip) {
    test::TempFolder folder;
    SettingsStore store(QString::fromStdString(folder.file("settings.ini")));
    for (const std::string& value :
         {std::string(), std::string(254, 'x'), std::string("C:\\a folder, with; odd=chars\\")}) {
        store.WriteSetting("Last Path", value);
        EXPECT_EQ(store.ReadSetting("Last Path", "default"), value);
    }
}

TEST(SettingsStore, LongerValueCountsAsMissingAndIsReplaced) {
    test::TempFolder folder;
    SettingsStore store(QString::fromStdString(folder.file("settings.ini")));
    store.WriteSetting("Last Path", std::string(300, 'p'));
    EXPECT_EQ(store.ReadSetting("Last Path", "/opt/tessaline/"), "/opt/tessaline/");
    EXPECT_EQ(store.ReadSetting("Last Path", "other"), "/opt/tessaline/");
}

TEST(SettingsStore, UnwritableStoreStaysSilent) {
    SettingsStore store(QStringLiteral("/proc/tessaline-cannot-exist/settings.ini"));
    store.WriteSetting("Serial Port Number", "3");
    EXPECT_EQ(store.ReadSetting("Serial Port Number", "2"), "2");
}
