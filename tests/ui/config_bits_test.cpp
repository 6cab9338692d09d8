// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/window_fixture.hpp"
#include "ui/clickable_label.hpp"
#include "ui/config_bits_dialog.hpp"
#include "ui/config_bits_editor.hpp"
#include "ui/qt_dialogs.hpp"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

QAction* configBitsItem(WindowControls& form) {
    return form.menu4->findChild<QAction*>(QStringLiteral("menuconfigbits"));
}

SelectedModelValues shippedModel(const std::string& name) {
    const DeviceTable table = parseDeviceTable(shippedRecordText(name));
    SelectedModelValues model;
    ApplySelectedModel(table.at(0), model);
    return model;
}

// Chooses the option of a drop-down by its name.
void choose(ConfigBitsDialog& dialog, const char* setting, const char* option) {
    auto* options = dialog.findChild<QComboBox*>(QString::fromLatin1(setting));
    ASSERT_NE(options, nullptr) << setting;
    for (int i = 0; i < options->count(); ++i)
        if (options->itemText(i).section(QLatin1Char(' '), 0, 0) == QLatin1String(option))
            options->setCurrentIndex(i);
    ASSERT_TRUE(options->currentText().startsWith(QLatin1String(option))) << setting;
}

QString valueShown(ConfigBitsDialog& dialog, const char* setting) {
    return dialog.findChild<QLabel*>(QStringLiteral("value_") + QLatin1String(setting))->text();
}

} // namespace

// OK writes the chosen bytes into the buffer, redraws the labels with the settings in
// their tooltips and empties the loaded-file line; Cancel changes nothing.
TEST(ConfigBits, OkWritesTheBytesAndCancelChangesNothing) {
    WindowFixture fixture(shippedRecordText("18F452"));
    WindowControls& form = fixture.load();
    EXPECT_EQ(form.configLabels[1]->toolTip().toStdString(),
              "Click to edit!\n"
              "OSC = RCIO (RC oscillator w/ OSC2 configured as RA6)\n"
              "OSCS = OFF (Oscillator system clock switch option is disabled (main oscillator "
              "is source))");
    EXPECT_EQ(form.configLabels[0]->toolTip().toStdString(), "Click to edit!");
    form.label_hex->setText(QStringLiteral("x.hex"));

    fixture.dialogs.configurationBitsAnswer = [](const ConfigSettings&, const ConfigValues&) {
        return std::optional<ConfigValues>();
    };
    configBitsItem(form)->trigger();
    EXPECT_EQ(fixture.state.buffer.Config[1], 0x27);
    EXPECT_EQ(form.label_hex->text().toStdString(), "x.hex");

    fixture.dialogs.configurationBitsAnswer = [](const ConfigSettings& settings,
                                                 const ConfigValues& config) {
        ConfigValues chosen = config;
        const ConfigSetting& osc = *settings.find("OSC");
        applyOption(chosen, osc, *osc.findOption("HS"));
        const ConfigSetting& wdt = *settings.find("WDT");
        applyOption(chosen, wdt, *wdt.findOption("OFF"));
        return std::optional<ConfigValues>(chosen);
    };
    configBitsItem(form)->trigger();
    ASSERT_EQ(fixture.dialogs.shown.back().kind, "configbits");
    EXPECT_EQ(fixture.dialogs.shown.back().text, "18F452");
    EXPECT_EQ(fixture.state.buffer.Config[1], 0x22);
    EXPECT_EQ(fixture.state.buffer.Config[3], 0x0E);
    EXPECT_EQ(form.configLabels[1]->text().toStdString(), "22");
    EXPECT_EQ(form.configLabels[3]->text().toStdString(), "0E");
    EXPECT_NE(form.configLabels[1]->toolTip().toStdString().find("\nOSC = HS (HS oscillator)\n"),
              std::string::npos);
    EXPECT_EQ(form.label_hex->text().toStdString(), "");
}

TEST(ConfigBits, AModelWithoutNamedSettingsSaysSo) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    configBitsItem(form)->trigger();
    EXPECT_EQ(
        fixture.dialogs.messages(),
        std::vector<std::string>{"The device file names no configuration settings for the 18FA."});
    EXPECT_EQ(configLabelToolTip({}, 1, 0x27), "Click to edit!");
}

// The dialog itself: rows grouped by byte, the byte's value follows each choice, bits that
// no setting or option names keep their values.
TEST(ConfigBits, DialogShowsTheBytesAsTheOptionsChange) {
    const SelectedModelValues model = shippedModel("18F1320");
    ConfigValues config = model.ConfigErased; // OSC erases to 1111, which no option names
    config[3] = 0x1E;                         // WDT = OFF
    ConfigBitsDialog dialog(QStringLiteral("Quenvar Tessaline"), "18F1320", model.Settings, config);
    EXPECT_NE(dialog.findChild<QGroupBox*>(QStringLiteral("CONFIG1H")), nullptr);
    EXPECT_EQ(dialog.findChild<QGroupBox*>(QStringLiteral("CONFIG1L")), nullptr);
    auto* osc = dialog.findChild<QComboBox*>(QStringLiteral("OSC"));
    EXPECT_EQ(osc->currentText().toStdString(), "? (bits 0Fh)");
    EXPECT_EQ(osc->itemText(3).toStdString(), "HS - HS Oscillator");
    EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("WDT"))->currentText().toStdString(),
              "OFF - WDT disabled (control is placed on the SWDTEN bit)");
    EXPECT_EQ(valueShown(dialog, "OSC").toStdString(), "CFh");
    EXPECT_EQ(dialog.values(), config);

    choose(dialog, "OSC", "HS");
    choose(dialog, "FSCM", "OFF");
    EXPECT_EQ(valueShown(dialog, "OSC").toStdString(), "82h");
    EXPECT_EQ(valueShown(dialog, "IESO").toStdString(), "82h");
    choose(dialog, "WDT", "ON");
    EXPECT_EQ(valueShown(dialog, "WDTPS").toStdString(), "1Fh");
    ConfigValues expected = config;
    expected[1] = 0x82;
    expected[3] = 0x1F;
    EXPECT_EQ(dialog.values(), expected);
    osc->setCurrentIndex(0);
    EXPECT_EQ(dialog.values()[1], 0x8F);
}

// The window's dialogs run the real dialog: OK hands back what it shows.
TEST(ConfigBits, QtDialogsReturnTheChosenBytesOnOk) {
    const SelectedModelValues model = shippedModel("18F4520");
    QtDialogs dialogs(QStringLiteral("Quenvar Tessaline"));
    for (bool ok : {true, false}) {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<ConfigBitsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            choose(*dialog, "LVP", "OFF");
            ok ? dialog->accept() : dialog->reject();
        });
        const std::optional<ConfigValues> chosen =
            dialogs.configurationBits("18F4520", model.Settings, model.ConfigErased);
        ASSERT_EQ(chosen.has_value(), ok);
        if (ok) {
            EXPECT_EQ((*chosen)[6], 0x81);
        }
    }
}
