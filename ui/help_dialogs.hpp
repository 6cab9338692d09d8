// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tessaline {

class Dialogs;

// The Help menu: the serial connector's pinout and the About message.
class HelpDialogs {
public:
    HelpDialogs(const std::string& appTitle, Dialogs& dialogs)
        : m_appTitle(appTitle), m_dialogs(dialogs) {}

    void menuportinfo_Click();
    void menuabout_Click();

private:
    const std::string& m_appTitle;
    Dialogs& m_dialogs;
};

} // namespace tessaline
