// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialogs.hpp"

#include <QString>

class QWidget;

namespace tessaline {

// Converts "Intel HEX files (*.hex)|*.hex|All files (*.*)|*.*" to Qt's filter form
// "Intel HEX files (*.hex);;All files (*.*)": each description is kept, with its
// pattern in brackets unless it already shows it.
QString qtFileFilter(const std::string& filter);

// Text for a Qt widget: CR LF and lone CR become line feeds.
QString displayText(const std::string& text);

// The desktop's own dialogs, titled with the application's title.
class QtDialogs : public Dialogs {
public:
    QtDialogs(QString title, QWidget* parent = nullptr);
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const std::string& text, Icon icon) override;
    bool askYesNo(const std::string& text) override;
    void askYesNoLater(const std::string& text, std::function<void(bool)> answered) override;
    std::string inputBox(const std::string& prompt, const std::string& proposed) override;
    std::string openFileName(const std::string& title, const std::string& filter,
                             const std::string& folder) override;
    std::string saveFileName(const std::string& title, const std::string& filter,
                             const std::string& folder) override;
    std::optional<ConfigValues> configurationBits(const std::string& model,
                                                  const ConfigSettings& settings,
                                                  const ConfigValues& config) override;
    std::optional<ProgrammerUnitChoice>
    programmerUnit(const std::string& port, const ProgrammerUnitChoice& current,
                   const std::function<UnitDetection()>& detect) override;

private:
    QString m_title;
    QWidget* m_parent = nullptr;
};

} // namespace tessaline
