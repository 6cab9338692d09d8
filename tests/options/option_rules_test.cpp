// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/option_rules.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(OptionRules, EntriesAreTakenKeptOrWrong) {
    constexpr auto T = EntryVerdict::Take;
    constexpr auto K = EntryVerdict::Keep;
    constexpr auto W = EntryVerdict::Wrong;
    struct Row {
        const char* entry;
        EntryVerdict model, port, baud, progTime, unitDelay;
    };
    // With three models.
    const Row rows[] = {
        {"", K, K, K, K, K},      {"1", T, T, W, T, T},     {"3", T, T, W, T, T},
        {"4", K, T, W, T, T},     {"8", K, T, W, T, T},     {"9", K, W, W, T, T},
        {"01", T, W, W, T, T},    {" 1", T, W, W, T, W},    {"2.5", T, W, W, T, W},
        {"30", K, W, W, T, T},    {"31", K, W, W, W, T},    {"abc", K, W, K, W, W},
        {"600", K, W, W, W, T},   {"1200x", K, W, T, W, W}, {"56000", K, W, T, W, W},
        {"57600", K, W, W, W, W}, {"0", K, W, K, W, T},     {"-1", K, W, W, W, W},
        {"10000", K, W, T, W, T}, {"10001", K, W, T, W, W},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(modelEntry(row.entry, 3).verdict, row.model) << row.entry;
        EXPECT_EQ(portEntry(row.entry).verdict, row.port) << row.entry;
        EXPECT_EQ(baudEntry(row.entry).verdict, row.baud) << row.entry;
        EXPECT_EQ(progTimeEntry(row.entry).verdict, row.progTime) << row.entry;
        EXPECT_EQ(unitDelayEntry(row.entry).verdict, row.unitDelay) << row.entry;
    }
    EXPECT_EQ(unitDelayEntry("1700").value, 1700);
    EXPECT_EQ(modelEntry("2.4", 3).value, 2);
    EXPECT_EQ(portEntry("7").value, 7);
    EXPECT_EQ(baudEntry("9600.5").value, "9600.5");
    EXPECT_EQ(baudEntry("19200").value, "19200");
    EXPECT_EQ(progTimeEntry("2.5").value, 2);
    EXPECT_EQ(progTimeEntry("3.5").value, 4);
}

TEST(OptionRules, StoredValuesAndSerialSettings) {
    EXPECT_EQ(storedModel("2", 2), 2);
    EXPECT_EQ(storedModel("3", 2), std::nullopt);
    EXPECT_EQ(storedModel("x", 2), std::nullopt);
    EXPECT_EQ(storedModel(kDefaultModel, 1), 1);
    EXPECT_EQ(storedPortNumber(kDefaultPortNumber), 2);
    EXPECT_EQ(storedPortNumber("5 "), 5);
    EXPECT_EQ(serialSettingsText(kDefaultBaudRate), "56000,n,8,1");
    EXPECT_EQ(storedUnitDelay(kDefaultUnitDelay), 0);
    EXPECT_EQ(storedUnitDelay("2000"), 2000);
    EXPECT_EQ(storedUnitDelay("20000"), 0);
    EXPECT_EQ(storedFastBaud(kDefaultFastBaud), 1000000);
    EXPECT_EQ(storedFastBaud("500000"), 500000);
    EXPECT_EQ(storedFastBaud("0"), 0);
    EXPECT_EQ(storedFastBaud("56000"), 1000000);
    EXPECT_EQ(fastBaudEntry("2000000"), 2000000);
    EXPECT_EQ(fastBaudEntry("1000000 "), std::nullopt);
    EXPECT_EQ(fastBaudSettingName("/dev/ttyUSB0"), "Fast Baud Rate/dev/ttyUSB0");
}
