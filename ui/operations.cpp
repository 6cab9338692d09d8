#include "ui/operations.hpp"

#include "app/serial_control.hpp"
#include "engine/operation_texts.hpp"
#include "ui/dialogs.hpp"
#include "ui/window_view.hpp"

namespace tessaline {

WindowOperations::WindowOperations(ProgrammerState& state, SerialControl& port, Dialogs& dialogs,
                                   WindowView& window)
    : m_state(state), m_dialogs(dialogs), m_window(window),
      m_control(state.buffer, state.model, port, *this) {
    attach(m_control, port);
}

void WindowOperations::Command1_Click() {
    m_control.StartProgramAll(m_state.app.PortReady);
}

void WindowOperations::Command2_Click() {
    m_control.StartReadAll(m_state.app.PortReady);
}

void WindowOperations::Command3_Click() {
    m_control.StartEraseAll(m_state.app.PortReady);
}

void WindowOperations::Command4_Click() {
    m_control.StartBlankCheck(m_state.app.PortReady);
}

void WindowOperations::Command5_Click() {
    m_control.StartVerify(m_state.app.PortReady);
}

void WindowOperations::MSComm1_OnComm() {
    m_control.MSComm1_OnComm();
}

void WindowOperations::disable() {
    m_window.disable();
}

void WindowOperations::updatedisplay() {
    m_window.updatedisplay();
}

void WindowOperations::operationBegins(OperationKind kind) {
    m_window.setStatus(beginText(kind));
}

void WindowOperations::showProgress(Memory memory, std::int32_t done, std::int32_t total) {
    m_window.setProgressStatus(progressText(memory, done, total));
}

void WindowOperations::showConfigByte(std::int32_t index) {
    m_window.setProgressStatus(configByteText(index));
}

void WindowOperations::showMessage(const std::string& text) {
    m_dialogs.message(text);
}

void WindowOperations::operationEnded(const OperationEnd& end) {
    const std::string status = endStatusText(end, m_state.app.PortNumber);
    const std::string message = endMessage(end);
    switch (end.outcome) {
    case Outcome::Refused:
        if (!status.empty())
            m_window.setStatus(status);
        if (!message.empty())
            showMessage(message);
        return;
    case Outcome::Done:
    case Outcome::CheckFailed:
        // The completion routine: unlock, show the result, and after a read the buffer.
        m_window.enable();
        m_window.setStatus(status);
        letPendingEventsRun();
        if (end.kind == OperationKind::Read) {
            m_window.updatedisplay();
            letPendingEventsRun();
        }
        return;
    case Outcome::Stopped:
        m_window.setStatus(status);
        m_window.enable();
        return;
    case Outcome::UnitSilent:
    case Outcome::PortFailed:
    case Outcome::ScriptFailed:
    case Outcome::WrongDevice:
    case Outcome::StrayBytes:
        m_window.setStatus(status);
        m_window.enable();
        if (end.kind == OperationKind::Read)
            m_window.updatedisplay();
        showMessage(message);
        return;
    }
}

} // namespace tessaline
