// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"
#include "ui/dialogs.hpp"

#include <functional>

namespace tessaline {

class Dialogs;
class FileCommands;
class SerialControl;
class SettingsStore;
class WindowView;

// The Options menu: microcontroller model, serial port number, baud rate and
// programming time; and the serial port's opening, which the port and baud dialogs
// repeat.
class OptionDialogs {
public:
    OptionDialogs(ProgrammerState& state, SettingsStore& settings, SerialControl& port,
                  Dialogs& dialogs, WindowView& window, FileCommands& files);

    void menumodel_Click();
    void menuport_Click();
    void menubaud_Click();
    void menuprogtime_Click();
    // The unit's start-up delay: stored, and used from the port's next opening on.
    void menuunitdelay_Click();
    // Options, Programmer Unit: the unit type of the port, which Detect finds and stores
    // at once; OK stores the type chosen.
    void menuunit_Click();
    // Runs the probe on the port (set by the window).
    std::function<UnitDetection()> detectUnit;
    // Options, Verify after Program All: the checked state is stored at once.
    void menuverifyafter_Toggled(bool checked);
    // Selects the model with this number and stores it, as the model dialog does.
    void selectModel(std::int32_t number);

    // Configures the port with the baud rate, port number and stored start-up delay, and
    // opens it.
    void openSerialPort();
    // Runs after every opening of the port that succeeded (set by the window).
    std::function<void()> portOpened;

private:
    void reopenSerialPort();
    // What the settings of the port (its unit type) are stored under.
    std::string portSettingDeviceName() const;
    void storeUnitType(CommandSet type);
    void wrongEntry();

    ProgrammerState& m_state;
    SettingsStore& m_settings;
    SerialControl& MSComm1;
    Dialogs& m_dialogs;
    WindowView& m_window;
    FileCommands& m_files;
};

} // namespace tessaline
