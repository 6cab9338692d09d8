// The five operations of the main window and the serial port's receive event.
#include "ui/main_window.hpp"

#include "engine/operation_texts.hpp"

namespace tessaline {

void Form1::Command1_Click() {
    control.StartProgramAll(m_state.app.PortReady);
}

void Form1::Command2_Click() {
    control.StartReadAll(m_state.app.PortReady);
}

void Form1::Command3_Click() {
    control.StartEraseAll(m_state.app.PortReady);
}

void Form1::Command4_Click() {
    control.StartBlankCheck(m_state.app.PortReady);
}

void Form1::Command5_Click() {
    control.StartVerify(m_state.app.PortReady);
}

void Form1::MSComm1_OnComm() {
    control.MSComm1_OnComm();
}

void Form1::operationBegins(OperationKind kind) {
    setStatus(beginText(kind));
}

void Form1::showProgress(Memory memory, std::int32_t done, std::int32_t total) {
    showProgressStatus(progressText(memory, done, total));
}

void Form1::showConfigByte(std::int32_t index) {
    showProgressStatus(configByteText(index));
}

void Form1::operationEnded(const OperationEnd& end) {
    const std::string status = endStatusText(end, m_state.app.PortNumber);
    const std::string message = endMessage(end);
    switch (end.outcome) {
    case Outcome::Refused:
        if (!status.empty())
            setStatus(status);
        if (!message.empty())
            showMessage(message);
        return;
    case Outcome::Done:
    case Outcome::CheckFailed:
        // The completion routine: unlock, show the result, and after a read the buffer.
        enable();
        setStatus(status);
        letPendingEventsRun();
        if (end.kind == OperationKind::Read) {
            updatedisplay();
            letPendingEventsRun();
        }
        return;
    case Outcome::UnitSilent:
    case Outcome::PortFailed:
    case Outcome::ScriptFailed:
        setStatus(status);
        enable();
        if (end.kind == OperationKind::Read)
            updatedisplay();
        showMessage(message);
        return;
    }
}

} // namespace tessaline
