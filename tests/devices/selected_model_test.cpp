// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/selected_model.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(ScriptSplitting, CommasSeparateWordsInLowerCase) {
    using S = std::vector<std::string>;
    EXPECT_EQ(splitScript("begin,end"), (S{"begin", "end"}));
    EXPECT_EQ(splitScript("begin,end,"), (S{"begin", "end"}));
    EXPECT_EQ(splitScript("begin,,end"), (S{"begin", "", "end"}));
    EXPECT_EQ(splitScript("BEGIN,End"), (S{"begin", "end"}));
    EXPECT_EQ(splitScript("begin, end"), (S{"begin", " end"}));
    EXPECT_EQ(splitScript(""), (S{""}));
    EXPECT_EQ(splitScript(","), (S{""}));
}

TEST(ConfigErased, PairsAtEveryThirdColumnWithAnySeparator) {
    const ConfigValues expected{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85,
                                0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
    EXPECT_EQ(parseConfigErased("00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40"), expected);
    EXPECT_EQ(parseConfigErased("00,27,0f,0f,00;01x85 00 0F C0 0F E0 0F 40 trailing"), expected);
    const ConfigValues missing = parseConfigErased("");
    for (std::int32_t value : missing)
        EXPECT_EQ(value, -1);
    const ConfigValues shortText = parseConfigErased("00 27 0G 4");
    EXPECT_EQ(shortText[0], 0x00);
    EXPECT_EQ(shortText[1], 0x27);
    EXPECT_EQ(shortText[2], -1);
    EXPECT_EQ(shortText[3], -1);
    EXPECT_EQ(shortText[13], -1);
}

TEST(ApplySelectedModel, DerivesEveryValueFromTheRecord) {
    DeviceModel record;
    record.model = "18f452";
    record.flash = " 32768";
    record.progtime = "2.5";
    record.voltageseq = "VPPVDD";
    record.erase = "Begin,End";
    SelectedModelValues values;
    ApplySelectedModel(record, values);
    EXPECT_EQ(values.SelectedModelName, "18F452");
    EXPECT_EQ(values.FlashSize, 32768);
    EXPECT_EQ(values.EepromSize, 0);
    EXPECT_EQ(values.ProgTime, 2);
    EXPECT_EQ(values.VoltageSequence, 2);
    EXPECT_EQ(values.EraseScript.words(), (std::vector<std::string>{"begin", "end"}));
    EXPECT_EQ(values.EraseScript.steps[1].instruction.op, Op::End);
    EXPECT_EQ(values.ProgramScript.words(), (std::vector<std::string>{""}));
    EXPECT_EQ(values.ConfigErased[0], -1);
}

TEST(ApplySelectedModel, UnrecognisedVoltageSequenceKeepsThePreviousOne) {
    SelectedModelValues values;
    DeviceModel first;
    first.voltageseq = "vppvdd";
    ApplySelectedModel(first, values);
    DeviceModel second;
    second.voltageseq = " vddvpp"; // a blank after the colon matches neither word
    ApplySelectedModel(second, values);
    EXPECT_EQ(values.VoltageSequence, 2);
    DeviceModel never;
    SelectedModelValues fresh;
    ApplySelectedModel(never, fresh);
    EXPECT_EQ(fresh.VoltageSequence, 0);
}

TEST(ApplySelectedModel, SizesAreHeldWithinTheAddressSpace) {
    DeviceModel record;
    record.flash = "4000000000";
    record.eeprom = "99999999";
    SelectedModelValues values;
    ApplySelectedModel(record, values);
    EXPECT_EQ(values.FlashSize, kMaxFlashSize);
    EXPECT_EQ(values.EepromSize, kMaxEepromSize);
}
