#include "tests/support/window_fixture.hpp"

#include "buffer/hex_text.hpp"
#include "ui/clickable_label.hpp"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

std::string text(const QLabel* label) {
    return label->text().toStdString();
}

} // namespace

TEST(Form1, FirstRunStoresTheFourDefaultsAndOpensPort2) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    EXPECT_EQ(fixture.settings->ReadSetting("Last Path", "x"), fixture.folder.path());
    EXPECT_EQ(fixture.settings->ReadSetting("Microcontroller Model", "x"), "1");
    EXPECT_EQ(fixture.settings->ReadSetting("Serial Port Number", "x"), "2");
    EXPECT_EQ(fixture.settings->ReadSetting("Serial Port Baud Rate", "x"), "56000");
    EXPECT_EQ(fixture.state.app.LastPath, fixture.folder.path());
    EXPECT_EQ(fixture.port.settings, "56000,n,8,1");
    EXPECT_EQ(fixture.port.commPort(), 2);
    EXPECT_TRUE(fixture.state.app.PortReady);
    EXPECT_EQ(text(form.label_status), "Serial port 2 ready");
    EXPECT_EQ(text(form.label_ime), "18FA");
    EXPECT_EQ(text(form.label_info), "FLASH: 64,  EEPROM: 16");
    EXPECT_EQ(text(form.configLabels[1]), "27");
    EXPECT_EQ(form.window.windowTitle().toStdString(), "Quenvar Tessaline");
    EXPECT_TRUE(form.window.isVisible());
}

TEST(Form1, MissingPortLeavesTheWindowUsableWithTheErrorText) {
    WindowFixture fixture(kTwoModels);
    fixture.settings->WriteSetting("Serial Port Number", "5");
    WindowControls& form = fixture.load();
    EXPECT_FALSE(fixture.state.app.PortReady);
    EXPECT_EQ(text(form.label_status), "Serial port 5 error!");
    EXPECT_EQ(form.label_status->toolTip().toStdString(), "fake port 5");
    EXPECT_TRUE(form.Command1->isEnabled());
}

TEST(Form1, OutOfRangeModelIndexIsRepairedTo1) {
    for (const char* stored : {"0", "-3", "abc", "3", ""}) {
        WindowFixture fixture(kTwoModels);
        fixture.settings->WriteSetting("Microcontroller Model", stored);
        fixture.load();
        EXPECT_EQ(fixture.state.app.SelectedModel, 1) << stored;
        EXPECT_EQ(fixture.settings->ReadSetting("Microcontroller Model", "x"), "1") << stored;
    }
    WindowFixture second(kTwoModels);
    second.settings->WriteSetting("Microcontroller Model", "2");
    WindowControls& form = second.load();
    EXPECT_EQ(second.state.app.SelectedModel, 2);
    EXPECT_EQ(text(form.label_ime), "18FB");
    EXPECT_EQ(second.state.model.VoltageSequence, 2);
    EXPECT_EQ(form.tabla_eeprom->toPlainText().toStdString(), "");
}

TEST(Form1, UpdatedisplayShowsTheBufferWithoutATrailingBreak) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.state.buffer.Flash[0x3F] = 0x0A;
    fixture.state.buffer.Config[13] = 0x5C;
    form.updatedisplay();
    const QString flash = form.tabla_flash->toPlainText();
    EXPECT_EQ(flash.count(QLatin1Char('\n')), 3);
    EXPECT_TRUE(flash.endsWith(QStringLiteral("FF 0A")));
    EXPECT_EQ(form.tabla_eeprom->toPlainText().toStdString(),
              "0000: FF FF FF FF FF FF FF FF\n0008: FF FF FF FF FF FF FF FF");
    EXPECT_EQ(text(form.configLabels[13]), "5C");
}

TEST(Form1, DisableGreysMenusAndButtonsOnlyAndEnableRestoresThem) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    form.disable();
    for (QMenu* menu : {form.menu1, form.menu2, form.menu3, form.menu4, form.menu5})
        EXPECT_FALSE(menu->menuAction()->isEnabled());
    for (QPushButton* button :
         {form.Command1, form.Command2, form.Command3, form.Command4, form.Command5})
        EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(form.label_hex->isEnabled());
    EXPECT_TRUE(form.configLabels[0]->isEnabled());
    EXPECT_TRUE(form.tabla_flash->isEnabled());
    form.enable();
    for (QMenu* menu : {form.menu1, form.menu2, form.menu3, form.menu4, form.menu5})
        EXPECT_TRUE(menu->menuAction()->isEnabled());
    for (QPushButton* button :
         {form.Command1, form.Command2, form.Command3, form.Command4, form.Command5})
        EXPECT_TRUE(button->isEnabled());
}

TEST(Form1, ViewsHandTheFocusToCommand0AndIgnoreTyping) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    form.window.activateWindow();
    const QString before = form.tabla_flash->toPlainText();
    for (QPlainTextEdit* view : {form.tabla_flash, form.tabla_eeprom}) {
        view->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        EXPECT_FALSE(view->hasFocus());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12"));
    }
    EXPECT_EQ(form.tabla_flash->toPlainText(), before);
    EXPECT_EQ(QApplication::focusWidget(), form.Command0);
}

TEST(Form1, ClearBufferErasesAndEmptiesTheLabels) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.state.buffer.Flash[1] = 0;
    fixture.state.buffer.Config[0] = 0x33;
    form.label_hex->setText(QStringLiteral("file.hex"));
    form.menuclear->trigger();
    EXPECT_EQ(fixture.state.buffer.Flash[1], 0xFF);
    EXPECT_EQ(fixture.state.buffer.Config[0], 0x00);
    EXPECT_EQ(text(form.label_hex), "");
    EXPECT_EQ(text(form.label_status), "");
    EXPECT_TRUE(form.menu1->menuAction()->isEnabled());
}

TEST(Form1, ModelWithoutFlashDoesNotBreakTheWindow) {
    WindowFixture fixture("model:broken\r\nflash:none\r\neeprom:-8\r\n");
    WindowControls& form = fixture.load();
    EXPECT_EQ(form.tabla_flash->toPlainText().toStdString(), "");
    EXPECT_EQ(text(form.label_info), "FLASH: 0,  EEPROM: -8");
    EXPECT_EQ(text(form.configLabels[0]), "FF");
}

TEST(Form1, ClientAreaIsFixedAt473By409) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    const double scale = form.window.logicalDpiY() / 96.0;
    EXPECT_NEAR(form.window.centralWidget()->width(), 473 * scale, 1);
    EXPECT_NEAR(form.window.centralWidget()->height(), 409 * scale, 1);
    EXPECT_EQ(form.window.minimumSize(), form.window.maximumSize());
}
