// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help_dialogs.hpp"

#include "ui/dialogs.hpp"
#include "ui/help_texts.hpp"

namespace tessaline {

void HelpDialogs::menuportinfo_Click() {
    m_dialogs.message(pinoutText(), Dialogs::Icon::Information);
}

void HelpDialogs::menuabout_Click() {
    m_dialogs.message(aboutText(m_appTitle), Dialogs::Icon::Information);
}

} // namespace tessaline
