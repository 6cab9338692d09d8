// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/config_bits_editor.hpp"

#include "ui/dialogs.hpp"
#include "ui/window_view.hpp"

namespace tessaline {

std::string configLabelToolTip(const ConfigSettings& settings, std::size_t index,
                               std::int32_t value) {
    std::string tip = "Click to edit!";
    for (const ConfigSetting* setting : settings.ofByte(index)) {
        tip += "\n" + setting->text(value);
        const ConfigOption* option = setting->optionOf(value);
        if (option && !option->explanation.empty())
            tip += " (" + option->explanation + ")";
    }
    return tip;
}

ConfigBitsEditor::ConfigBitsEditor(ProgrammerState& state, Dialogs& dialogs, WindowView& window)
    : m_state(state), m_dialogs(dialogs), m_window(window) {}

void ConfigBitsEditor::menuconfigbits_Click() {
    const SelectedModelValues& model = m_state.model;
    if (model.Settings.error) {
        m_dialogs.message("The configuration settings of the " + model.SelectedModelName +
                              " cannot be shown:\r\n" + *model.Settings.error,
                          Dialogs::Icon::Critical);
        return;
    }
    if (model.Settings.empty()) {
        m_dialogs.message("The device file names no configuration settings for the " +
                          model.SelectedModelName + ".");
        return;
    }
    const std::optional<ConfigValues> chosen =
        m_dialogs.configurationBits(model.SelectedModelName, model.Settings, m_state.buffer.Config);
    if (!chosen || *chosen == m_state.buffer.Config)
        return;
    m_state.buffer.Config = *chosen;
    m_window.updatedisplay();
    // The buffer no longer holds what the loaded file holds.
    m_window.setLoadedFile("");
}

} // namespace tessaline
