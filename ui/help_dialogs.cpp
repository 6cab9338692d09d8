// The Help menu: the serial connector's pinout and the About message.
#include "ui/main_window.hpp"

#include "ui/dialogs.hpp"
#include "ui/help_texts.hpp"

namespace tessaline {

void Form1::menuportinfo_Click() {
    m_dialogs.message(pinoutText(), Dialogs::Icon::Information);
}

void Form1::menuabout_Click() {
    m_dialogs.message(aboutText(m_state.app.AppTitle), Dialogs::Icon::Information);
}

} // namespace tessaline
