// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"
#include "app/settings_store.hpp"
#include "tests/support/fake_serial_port.hpp"
#include "tests/support/scripted_dialogs.hpp"
#include "tests/support/temp_folder.hpp"
#include "ui/main_window.hpp"

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace tessaline {
class ClickableLabel;
}

namespace tessaline::test {

// The window's controls, found by the object names it gives them (the names of the
// program's documents), for tests to click and read.
struct WindowControls {
    explicit WindowControls(Form1& form);

    Form1& window;
    QMenu* menu1;
    QMenu* menu2;
    QMenu* menu3;
    QMenu* menu4;
    QMenu* menu5;
    QAction* menuclear;
    QAction* menuopen;
    QAction* menusave;
    QAction* menueditflash;
    QAction* menuediteeprom;
    QAction* menuprogram;
    QAction* menuread;
    QAction* menuerase;
    QAction* menublank;
    QAction* menuverify;
    QAction* menumodel;
    QAction* menuport;
    QAction* menubaud;
    QAction* menuprogtime;
    QAction* menuportinfo;
    QAction* menuabout;
    ClickableLabel* Label7;
    ClickableLabel* label_hex;
    QPushButton* Command0;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;
    QPushButton* Command5;
    QLabel* label_ime;
    QLabel* label_info;
    QPlainTextEdit* tabla_flash;
    QPlainTextEdit* tabla_eeprom;
    QLabel* label_status;
    std::array<ClickableLabel*, kConfigByteCount> configLabels;

    void updatedisplay() { window.updatedisplay(); }
    void enable() { window.enable(); }
    void disable() { window.disable(); }
};

// A main window over a given device file, with an isolated settings store, a fake serial
// port (port 2 present) and scripted dialogs.
struct WindowFixture {
    explicit WindowFixture(const std::string& devicesText);

    // Creates the window over the fake port, or the given one, and runs its load handler.
    WindowControls& load(SerialControl* otherPort = nullptr);

    TempFolder folder;
    ProgrammerState state;
    std::unique_ptr<SettingsStore> settings;
    FakeSerialPort port;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> window;
    std::unique_ptr<WindowControls> controls;
};

// Two small models: A (64 bytes FLASH, 16 EEPROM), B (4096, no EEPROM).
extern const char* const kTwoModels;

// The record of the shipped devices.cfg with that name, as the text of a device file.
std::string shippedRecordText(const std::string& model);

// Runs the event loop until the condition holds or the time is up; true when it holds.
// (QTest::qWaitFor would sleep between every reply.)
bool runUntil(const std::function<bool()>& condition, int timeoutMs = 60000);
// Runs the event loop until the window's operation has ended.
bool operationEnds(Form1& window, int timeoutMs = 60000);

} // namespace tessaline::test
