// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_serial_port.hpp"
#include "tests/support/window_fixture.hpp"

#include "options/option_rules.hpp"
#include "ui/clickable_label.hpp"
#include "ui/model_list.hpp"

#include <QAction>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

DeviceTable namedModels(std::initializer_list<const char*> names) {
    DeviceTable table;
    for (const char* name : names) {
        table.emplace_back();
        table.back().model = name;
    }
    return table;
}

} // namespace

TEST(ModelList, TwoColumnsWithTheFirstHalfOnTheLeft) {
    EXPECT_EQ(modelListPrompt(namedModels({"18f252", "18f452", "18f4520"})),
              "Select new microcontroller model [1-3]:\r\n\r\n"
              "1.\t18F252    \t\t3.\t18F4520\r\n"
              "2.\t18F452    \r\n");
    const std::string seven = modelListPrompt(namedModels({"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_NE(seven.find("1.\tA         \t\t5.\tE\r\n2."), std::string::npos);
    EXPECT_NE(seven.find("3.\tC         \t\t7.\tG\r\n4.\tD         \r\n"), std::string::npos);
    EXPECT_NE(
        modelListPrompt(namedModels({"18F46K22LONG", "x"})).find("1.\t18F46K22LONG \t\t2.\tX\r\n"),
        std::string::npos);
    EXPECT_EQ(decimalText(19200), "19200");
    EXPECT_EQ(decimalText(9600.5), "9600.5");
}

TEST(OptionDialogs, ModelPromptPadsATenCharacterNameWithNoBlank) {
    WindowFixture fixture("model:18f4620abc\r\nflash:64\r\nmodel:18f452\r\nflash:64\r\n");
    WindowControls& form = fixture.load();
    fixture.dialogs.answers = {""};
    form.menumodel->trigger();
    ASSERT_EQ(fixture.dialogs.shown.size(), 1u);
    EXPECT_NE(fixture.dialogs.shown[0].text.find("1.\t18F4620ABC\t\t2.\t18F452\r\n"),
              std::string::npos)
        << fixture.dialogs.shown[0].text;
}

TEST(OptionDialogs, ModelDialogAppliesAndClearsOnlyForAnotherValidNumber) {
    for (const char* entry : {"1", "0", "3", "abc", ""}) {
        WindowFixture fixture(kTwoModels);
        fixture.load();
        fixture.state.buffer.Flash[0] = 0x00;
        fixture.dialogs.answers = {entry};
        fixture.controls->menumodel->trigger();
        EXPECT_EQ(fixture.state.app.SelectedModel, 1) << entry;
        EXPECT_EQ(fixture.state.buffer.Flash[0], 0x00) << entry;
        EXPECT_EQ(fixture.dialogs.shown[0].detail, "1");
    }
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    form.label_hex->setText(QStringLiteral("x.hex"));
    fixture.dialogs.answers = {"2.4"};
    form.menumodel->trigger();
    EXPECT_EQ(fixture.state.app.SelectedModel, 2);
    EXPECT_EQ(fixture.settings->ReadSetting("Microcontroller Model", "x"), "2");
    EXPECT_EQ(fixture.state.buffer.Flash.size(), 4096u);
    EXPECT_EQ(fixture.state.buffer.Config[0], 0x01);
    EXPECT_EQ(form.label_hex->text().toStdString(), "");
    EXPECT_EQ(form.label_status->text().toStdString(), "");
    EXPECT_TRUE(fixture.dialogs.messages().empty());
}

TEST(OptionDialogs, PortDialogTakesOneToEightAndAlwaysReopens) {
    struct Row {
        const char* entry;
        int port;
        bool wrong;
    };
    const Row rows[] = {
        {"3", 3, false}, {"9", 2, true}, {"01", 2, true}, {" 1", 2, true}, {"", 2, false}};
    for (const Row& row : rows) {
        WindowFixture fixture(kTwoModels);
        fixture.port.presentPorts = {2, 3};
        WindowControls& form = fixture.load();
        const int opens = fixture.port.openCount;
        fixture.dialogs.answers = {row.entry};
        form.menuport->trigger();
        EXPECT_EQ(fixture.dialogs.shown[0].text,
                  "Please select programmer Serial Port Number [1-8].");
        EXPECT_EQ(fixture.dialogs.shown[0].detail, "2");
        EXPECT_EQ(fixture.state.app.PortNumber, row.port) << row.entry;
        EXPECT_EQ(fixture.dialogs.messages().size(), row.wrong ? 1u : 0u) << row.entry;
        if (row.wrong) {
            EXPECT_EQ(fixture.dialogs.messages()[0], "Wrong entry!");
        }
        EXPECT_EQ(fixture.port.openCount, opens + 1) << row.entry;
        EXPECT_EQ(form.label_status->text().toStdString(),
                  "Serial port " + std::to_string(row.port) + " ready");
        EXPECT_EQ(fixture.settings->ReadSetting("Serial Port Number", "x"),
                  std::to_string(row.port));
    }
    WindowFixture missing(kTwoModels);
    WindowControls& form = missing.load();
    missing.dialogs.answers = {"7"};
    form.menuport->trigger();
    EXPECT_EQ(form.label_status->text().toStdString(), "Serial port 7 error!");
    EXPECT_FALSE(missing.state.app.PortReady);
}

TEST(OptionDialogs, BaudDialogTakesAnyRateInRange) {
    struct Row {
        const char* entry;
        const char* rate;
        bool wrong;
    };
    const Row rows[] = {{"19200", "19200", false}, {"600", "56000", true},
                        {"57600", "56000", true},  {"abc", "56000", false},
                        {"", "56000", false},      {"9600.5", "9600.5", false},
                        {"1200x", "1200", false}};
    for (const Row& row : rows) {
        WindowFixture fixture(kTwoModels);
        WindowControls& form = fixture.load();
        fixture.dialogs.answers = {row.entry};
        form.menubaud->trigger();
        EXPECT_EQ(fixture.dialogs.shown[0].text,
                  "Please select programmer Baud Rate [1200-56000].");
        EXPECT_EQ(fixture.state.app.BaudRate, row.rate) << row.entry;
        EXPECT_EQ(fixture.port.settings, *serialSettingsForBaud(row.rate)) << row.entry;
        EXPECT_EQ(fixture.dialogs.messages().size(), row.wrong ? 1u : 0u) << row.entry;
        EXPECT_EQ(fixture.settings->ReadSetting("Serial Port Baud Rate", "x"), row.rate);
        EXPECT_EQ(form.label_status->text().toStdString(), "Serial port 2 ready");
    }
}

TEST(OptionDialogs, ProgrammingTimeOneToThirtyRoundedAndNotStored) {
    struct Row {
        const char* entry;
        int time;
        bool wrong;
    };
    const Row rows[] = {{"2.5", 2, false}, {"30", 30, false}, {"31", 2, true},
                        {"0", 2, true},    {"", 2, false},    {"3.5", 4, false}};
    for (const Row& row : rows) {
        WindowFixture fixture(kTwoModels);
        WindowControls& form = fixture.load();
        fixture.dialogs.answers = {row.entry};
        form.menuprogtime->trigger();
        EXPECT_EQ(fixture.dialogs.shown[0].text, "Enter new programming time in ms [1-30].");
        EXPECT_EQ(fixture.dialogs.shown[0].detail, "2");
        EXPECT_EQ(fixture.state.model.ProgTime, row.time) << row.entry;
        EXPECT_EQ(fixture.dialogs.messages().size(), row.wrong ? 1u : 0u) << row.entry;
    }
}

TEST(OptionDialogs, UnitStartUpDelayIsStoredAndUsedWhenThePortOpens) {
    struct Row {
        const char* entry;
        int delay;
        bool wrong;
    };
    const Row rows[] = {{"2000", 2000, false},
                        {"", 1500, false},
                        {"2.5", 1500, true},
                        {"20000", 1500, true},
                        {"0", 0, false}};
    for (const Row& row : rows) {
        WindowFixture fixture(kTwoModels);
        fixture.settings->WriteSetting(kSettingUnitDelay, "1500");
        fixture.load();
        EXPECT_EQ(fixture.port.startupDelay, 1500) << "the stored delay, from the start";
        fixture.dialogs.answers = {row.entry};
        fixture.window->findChild<QAction*>(QStringLiteral("menuunitdelay"))->trigger();
        ASSERT_EQ(fixture.dialogs.shown.size(), row.wrong ? 2u : 1u) << row.entry;
        EXPECT_EQ(fixture.dialogs.shown[0].detail, "1500");
        EXPECT_EQ(fixture.port.startupDelay, row.delay) << row.entry;
        EXPECT_EQ(fixture.settings->ReadSetting(kSettingUnitDelay, "x"), std::to_string(row.delay))
            << row.entry;
        EXPECT_EQ(fixture.dialogs.messages().size(), row.wrong ? 1u : 0u) << row.entry;
    }
}

// Options, Programmer Unit: Detect asks the unit on the port (here an original one) and
// stores what it found at once; OK stores the type chosen, under the port's device, and
// each port keeps its own.
TEST(OptionDialogs, ProgrammerUnitDetectsAndStoresTheTypePerPort) {
    WindowFixture fixture(shippedRecordText("18F452"));
    SimSerialPort port("18F452");
    WindowControls& form = fixture.load(&port);
    auto* menuunit = form.window.findChild<QAction*>(QStringLiteral("menuunit"));
    ASSERT_NE(menuunit, nullptr);
    UnitDetection found;
    fixture.dialogs.programmerUnitAnswer = [&](CommandSet shown,
                                               const std::function<UnitDetection()>& detect) {
        EXPECT_EQ(shown, CommandSet::Original);
        found = detect();
        return std::optional<CommandSet>(CommandSet::Reference);
    };
    menuunit->trigger();
    EXPECT_EQ(found.type, CommandSet::Original);
    EXPECT_EQ(found.text, "original unit");
    EXPECT_EQ(form.label_status->text().toStdString(), "Unit detected");
    EXPECT_GE(port.unit.commandCount(), 8);
    EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
    ASSERT_EQ(fixture.dialogs.shown.back().kind, "unit");
    EXPECT_EQ(fixture.dialogs.shown.back().text, "port 2 (/dev/ttyS1)");
    EXPECT_EQ(fixture.state.app.UnitType, CommandSet::Reference);
    EXPECT_EQ(fixture.settings->storedSetting("Unit Type/dev/ttyS1"), "reference");
    EXPECT_EQ(fixture.settings->storedSetting("Fast Baud Rate/dev/ttyS1"), "1000000");
    fixture.dialogs.fastBaudAnswer = 500000;
    fixture.dialogs.programmerUnitAnswer = [](CommandSet shown,
                                              const std::function<UnitDetection()>&) {
        return std::optional<CommandSet>(shown);
    };
    menuunit->trigger();
    EXPECT_EQ(fixture.state.app.FastBaud, 500000);
    EXPECT_EQ(fixture.settings->storedSetting("Fast Baud Rate/dev/ttyS1"), "500000");
    fixture.dialogs.fastBaudAnswer.reset();

    fixture.dialogs.answers = {"3"};
    form.menuport->trigger();
    EXPECT_EQ(fixture.state.app.UnitType, CommandSet::Original);
    fixture.dialogs.answers = {"2"};
    form.menuport->trigger();
    EXPECT_EQ(fixture.state.app.UnitType, CommandSet::Reference);
    // Cancel keeps the type that Detect stored: a reference unit on the port now.
    port.unit.makeReference(sim::UnitSupplies{});
    fixture.settings->WriteSetting("Unit Type/dev/ttyS1", "original");
    fixture.dialogs.programmerUnitAnswer = [&](CommandSet,
                                               const std::function<UnitDetection()>& detect) {
        found = detect();
        return std::optional<CommandSet>();
    };
    menuunit->trigger();
    EXPECT_EQ(found.text, "reference unit, firmware 2");
    EXPECT_EQ(fixture.settings->storedSetting("Unit Type/dev/ttyS1"), "reference");
    EXPECT_EQ(fixture.state.app.UnitType, CommandSet::Reference);
}
