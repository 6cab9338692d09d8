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
