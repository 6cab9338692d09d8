// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"

#include <cstddef>

namespace tessaline {

class Dialogs;
class WindowOperations;
class WindowView;

// The Edit menu and the configuration grid: single FLASH, EEPROM and configuration
// bytes.
class BufferEditors {
public:
    BufferEditors(ProgrammerState& state, Dialogs& dialogs, WindowView& window,
                  const WindowOperations& operations);

    void menueditflash_Click();
    void menuediteeprom_Click();
    // A click on a configuration byte, CONFIG1L .. CONFIG7H as 0 .. 13.
    void editConfigByte(std::size_t index);

private:
    ProgrammerState& m_state;
    Dialogs& m_dialogs;
    WindowView& m_window;
    const WindowOperations& m_operations;
};

} // namespace tessaline
