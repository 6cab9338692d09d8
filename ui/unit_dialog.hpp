// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialogs.hpp"

#include <QDialog>

#include <functional>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;

namespace tessaline {

// Options, Programmer Unit: the serial port, the unit type as a drop-down ("unitType"),
// Detect ("detect"), whose line shows under it ("detected"), and the rate of a reference
// unit's fast mode ("fastBaud"). The settings of the unit on the port are rows of one
// form.
class ProgrammerUnitDialog : public QDialog {
    Q_OBJECT
public:
    ProgrammerUnitDialog(const QString& title, const std::string& port,
                         const ProgrammerUnitChoice& current, std::function<UnitDetection()> detect,
                         QWidget* parent = nullptr);

    ProgrammerUnitChoice choice() const;

protected:
    // Escape and the window's close wait for a probe under way.
    void reject() override;

private:
    void detectClicked();
    void setDetecting(bool detecting);

    std::function<UnitDetection()> m_detect;
    QComboBox* m_type = nullptr;
    QComboBox* m_fastBaud = nullptr;
    QPushButton* m_detectButton = nullptr;
    QLabel* m_detected = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    bool m_detecting = false;
};

} // namespace tessaline
