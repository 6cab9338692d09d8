// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"

#include <string>

namespace tessaline {

class Dialogs;
class SettingsStore;
class WindowOperations;
class WindowView;

// The File menu: clear the buffer, open, reload and save a HEX file.
class FileCommands {
public:
    FileCommands(ProgrammerState& state, SettingsStore& settings, Dialogs& dialogs,
                 WindowView& window, const WindowOperations& operations);

    void menuclear_Click();
    void menuopen_Click();
    // What Open HEX File does once a file was chosen; also for the file that the desktop
    // hands the window (its command line, a second start).
    void openHexFile(const std::string& chosen);
    // A file dropped on the window: opened as Open HEX File opens it when it reads as a HEX
    // file; otherwise the reader's message, and nothing changes.
    void openDroppedFile(const std::string& path);
    // Loads a file of the last folder; also the reload.
    void LoadHexFile(const std::string& fileName);
    // A click on the loaded-file line.
    void reload_Click();
    void menusave_Click();

private:
    ProgrammerState& m_state;
    SettingsStore& m_settings;
    Dialogs& m_dialogs;
    WindowView& m_window;
    const WindowOperations& m_operations;
};

} // namespace tessaline
