// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_serial_port.hpp"
#include "tests/support/window_fixture.hpp"

#include "buffer/hex_text.hpp"
#include "ui/clickable_label.hpp"

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

std::string text(const QLabel* label) {
    return label->text().toStdString();
}

// Every text the status line was painted with, each once in a row.
class PaintedTexts : public QObject {
public:
    std::vector<std::string> texts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const std::string shown = static_cast<QLabel*>(watched)->text().toStdString();
            if (texts.empty() || texts.back() != shown)
                texts.push_back(shown);
        }
        return false;
    }
};

} // namespace

TEST(Form1, FirstRunStoresTheFourDefaultsAndOpensPort2) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    EXPECT_EQ(fixture.settings->ReadSetting("Last Path", "x"), fixture.folder.path());
    EXPECT_EQ(fixture.settings->ReadSetting("Microcontroller Model", "x"), "1");
    EXPECT_EQ(fixture.settings->ReadSetting("Serial Port Number", "x"), "2");
    EXPECT_EQ(fixture.settings->ReadSetting("Serial Port Baud Rate", "x"), "56000");
    EXPECT_EQ(fixture.state.app.LastPath, fixture.folder.path());
    EXPECT_EQ(fixture.port.settings, *serialSettingsForBaud("56000"));
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
    EXPECT_EQ(form.label_status->toolTip().toStdString().rfind("fake port 5\n\nPort numbers:\n", 0),
              0u);
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

TEST(Form1, ViewsShowTheBufferWithoutEditingActionsOrDrops) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    for (QPlainTextEdit* view : {form.tabla_flash, form.tabla_eeprom}) {
        const QString before = view->toPlainText();
        // The context menu: copying and selecting only.
        view->selectAll();
        const std::unique_ptr<QMenu> menu(view->createStandardContextMenu());
        QStringList entries;
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->isVisible())
                entries << action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
        EXPECT_EQ(entries, (QStringList{QStringLiteral("Copy"), QStringLiteral("Select All")}));
        for (QAction* action : menu->actions())
            action->trigger();
        // Dropped text goes nowhere.
        QMimeData data;
        data.setText(QStringLiteral("dropped"));
        const QPoint middle = view->viewport()->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &drop);
        QCoreApplication::processEvents();
        EXPECT_EQ(view->toPlainText(), before);
        EXPECT_FALSE(view->textInteractionFlags() & Qt::TextEditable);
    }
    EXPECT_TRUE(fixture.dialogs.shown.empty());
}

TEST(Form1, StatusToolTipListsWhereThePortNumbersLead) {
    WindowFixture fixture(kTwoModels);
    const QString link = QString::fromStdString(fixture.folder.file("com3"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));
    WindowControls& form = fixture.load();
    const std::string tip = form.label_status->toolTip().toStdString();
    EXPECT_NE(tip.find("\n\nPort numbers:\n"), std::string::npos) << tip;
    EXPECT_NE(tip.find("port 3 = /dev/null (link " + link.toStdString() + ")"), std::string::npos)
        << tip;
}

// Progress texts may be skipped at one per screen refresh; the first text of an operation
// never is.
TEST(Form1, BeginTextOfEveryOperationIsPaintedFirst) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    WindowControls& form = fixture.load(&port);
    const std::pair<QPushButton*, const char*> starts[] = {{form.Command4, "Begin blank check"},
                                                           {form.Command3, "Begin erase all"},
                                                           {form.Command4, "Begin blank check"},
                                                           {form.Command2, "Begin read all"}};
    for (const auto& [button, begin] : starts) {
        PaintedTexts painted;
        painted.texts.push_back(text(form.label_status));
        form.label_status->installEventFilter(&painted);
        button->click();
        ASSERT_TRUE(operationEnds(form.window));
        form.label_status->removeEventFilter(&painted);
        ASSERT_GE(painted.texts.size(), 3u);
        EXPECT_EQ(painted.texts[1], begin);
    }
}
