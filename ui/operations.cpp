// The five operations of the main window and the serial port's receive event.
#include "ui/main_window.hpp"

namespace tessaline {

void Form1::Command1_Click() {
    control.StartProgramAll(m_state.app.PortReady, m_state.app.PortNumber);
}

void Form1::Command2_Click() {
    control.StartReadAll(m_state.app.PortReady, m_state.app.PortNumber);
}

void Form1::Command3_Click() {
    control.StartEraseAll(m_state.app.PortReady, m_state.app.PortNumber);
}

void Form1::Command4_Click() {
    control.StartBlankCheck(m_state.app.PortReady, m_state.app.PortNumber);
}

void Form1::Command5_Click() {
    control.StartVerify(m_state.app.PortReady, m_state.app.PortNumber);
}

void Form1::MSComm1_OnComm() {
    control.MSComm1_OnComm();
}

} // namespace tessaline
