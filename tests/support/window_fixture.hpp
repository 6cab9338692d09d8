#pragma once

#include "app/application_values.hpp"
#include "app/settings_store.hpp"
#include "tests/support/fake_serial_port.hpp"
#include "tests/support/scripted_dialogs.hpp"
#include "tests/support/temp_folder.hpp"
#include "ui/main_window.hpp"

#include <memory>

namespace tessaline::test {

// A main window over a given device file, with an isolated settings store, a fake serial
// port (port 2 present) and scripted dialogs.
struct WindowFixture {
    explicit WindowFixture(const std::string& devicesText);

    // Creates the window over the fake port, or the given one, and runs its load handler.
    Form1& load(SerialControl* otherPort = nullptr);

    TempFolder folder;
    ProgrammerState state;
    std::unique_ptr<SettingsStore> settings;
    FakeSerialPort port;
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> window;
};

// Two small models: A (64 bytes FLASH, 16 EEPROM), B (4096, no EEPROM).
extern const char* const kTwoModels;

// The record of the shipped devices.cfg with that name, as the text of a device file.
std::string shippedRecordText(const std::string& model);

// Runs the event loop until the operation has ended or the time is up; true when it
// ended. (QTest::qWaitFor would sleep between every reply.)
bool operationEnds(OperationControl& control, int timeoutMs = 60000);

} // namespace tessaline::test
