// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/window_fixture.hpp"

#include "ui/clickable_label.hpp"
#include "ui/edit_entry.hpp"

#include <QAction>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

TEST(EditEntry, PadsUpperCasesAndRefusesAnythingElse) {
    struct Row {
        const char* entry;
        std::size_t digits;
        std::int32_t expected;
    };
    const Row rows[] = {
        {"7fff", 6, 0x7FFF}, {"a", 2, 0x0A},           {"1ff", 2, -1},
        {"0x1", 2, -1},      {"", 2, kEntryCancelled}, {" 1", 2, -1},
        {"-1", 2, -1},       {"FF", 2, 255},           {"1000000", 6, -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(readHexEntry(row.entry, row.digits), row.expected) << row.entry;
    EXPECT_EQ(flashAddressPrompt(32768),
              "Enter the address of FLASH memory location to edit [000000-007FFF].");
    EXPECT_EQ(eepromAddressPrompt(1024),
              "Enter the address of EEPROM memory location to edit [00-FF].");
}

TEST(BufferEditing, FlashEditStoresTheByteAndForgetsTheLoadedName) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    form.label_hex->setText(QStringLiteral("prog.hex"));
    fixture.dialogs.answers = {"3f", "a"};
    form.menueditflash->trigger();
    EXPECT_EQ(fixture.dialogs.shown[0].text,
              "Enter the address of FLASH memory location to edit [000000-00003F].");
    EXPECT_EQ(fixture.dialogs.shown[0].detail, "");
    EXPECT_EQ(fixture.dialogs.shown[1].text, "Enter new data to be written [00-FF].");
    EXPECT_EQ(fixture.state.buffer.Flash[0x3F], 0x0A);
    EXPECT_TRUE(form.tabla_flash->toPlainText().endsWith(QStringLiteral("FF 0A")));
    EXPECT_EQ(form.label_hex->text().toStdString(), "");
}

TEST(BufferEditing, RejectedOrCancelledEntriesChangeNothing) {
    struct Row {
        std::vector<std::string> answers;
        bool outOfRange;
    };
    const Row rows[] = {
        {{"40"}, true},       {{"0x1"}, true}, {{"0", "1ff"}, true},
        {{"0", "0x1"}, true}, {{""}, false},   {{"0", ""}, false},
    };
    for (const Row& row : rows) {
        WindowFixture fixture(kTwoModels);
        WindowControls& form = fixture.load();
        form.label_hex->setText(QStringLiteral("prog.hex"));
        fixture.dialogs.answers.assign(row.answers.begin(), row.answers.end());
        form.menueditflash->trigger();
        const auto messages = fixture.dialogs.messages();
        if (row.outOfRange)
            EXPECT_EQ(messages, std::vector<std::string>{"Out of range."}) << row.answers[0];
        else
            EXPECT_TRUE(messages.empty());
        EXPECT_EQ(fixture.state.buffer.Flash[0], 0xFF);
        EXPECT_EQ(form.label_hex->text().toStdString(), "prog.hex");
    }
}

TEST(BufferEditing, EepromEditAndModelWithoutEeprom) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.dialogs.answers = {"f", "5c"};
    form.menuediteeprom->trigger();
    EXPECT_EQ(fixture.dialogs.shown[0].text,
              "Enter the address of EEPROM memory location to edit [00-0F].");
    EXPECT_EQ(fixture.state.buffer.Eeprom[15], 0x5C);
    fixture.dialogs.answers = {"10"};
    form.menuediteeprom->trigger();
    EXPECT_EQ(fixture.dialogs.messages(), std::vector<std::string>{"Out of range."});

    WindowFixture noEeprom(kTwoModels);
    noEeprom.settings->WriteSetting("Microcontroller Model", "2");
    WindowControls& second = noEeprom.load();
    second.menuediteeprom->trigger();
    EXPECT_EQ(noEeprom.dialogs.messages(),
              std::vector<std::string>{"This model do not feature EEPROM memory."});
}

TEST(BufferEditing, ConfigurationLabelClickEditsItsByte) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.dialogs.answers = {"c3"};
    emit form.configLabels[9]->clicked();
    EXPECT_EQ(fixture.state.buffer.Config[9], 0xC3);
    EXPECT_EQ(form.configLabels[9]->text().toStdString(), "C3");
    fixture.dialogs.answers = {"100"};
    emit form.configLabels[0]->clicked();
    EXPECT_EQ(fixture.state.buffer.Config[0], 0x00);
    EXPECT_EQ(fixture.dialogs.messages(), std::vector<std::string>{"Out of range."});
}
