// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/config_settings.hpp"

#include <QDialog>

#include <vector>

class QComboBox;
class QLabel;

namespace tessaline {

// Options, Configuration Bits: one row per named setting, grouped by configuration byte.
// A row shows the setting's name (its title as tooltip), a drop-down of its options with
// their explanations, and the byte's value, which follows every choice. Bits that no
// setting names keep their values. Each drop-down has the setting's name as its object
// name, and each value label "value_" and that name.
class ConfigBitsDialog : public QDialog {
    Q_OBJECT
public:
    ConfigBitsDialog(const QString& title, const std::string& model, const ConfigSettings& settings,
                     const ConfigValues& config, QWidget* parent = nullptr);

    // The bytes as the drop-downs now choose them.
    ConfigValues values() const;

private:
    struct Row {
        const ConfigSetting* setting;
        QComboBox* options;
        QLabel* value;
    };

    void showValues();

    ConfigValues m_config;
    std::vector<Row> m_rows;
};

} // namespace tessaline
