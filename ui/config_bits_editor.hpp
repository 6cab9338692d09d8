// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"

#include <cstddef>
#include <string>

namespace tessaline {

class Dialogs;
class WindowView;

// The tooltip of a configuration byte's label: "Click to edit!", then the byte's settings
// by name, one a line, as "OSC = HSPLL (HS oscillator, PLL enabled)".
std::string configLabelToolTip(const ConfigSettings& settings, std::size_t index,
                               std::int32_t value);

// Options, Configuration Bits: the configuration bytes by setting name, through the
// dialogs; OK writes the bytes into the buffer and redraws the window.
class ConfigBitsEditor {
public:
    ConfigBitsEditor(ProgrammerState& state, Dialogs& dialogs, WindowView& window);

    void menuconfigbits_Click();

private:
    ProgrammerState& m_state;
    Dialogs& m_dialogs;
    WindowView& m_window;
};

} // namespace tessaline
