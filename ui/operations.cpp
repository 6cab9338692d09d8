// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/operations.hpp"

#include "app/serial_control.hpp"
#include "texts/identify_texts.hpp"
#include "texts/line_ends.hpp"
#include "texts/operation_texts.hpp"
#include "texts/port_texts.hpp"
#include "texts/unit_texts.hpp"
#include "ui/dialogs.hpp"
#include "ui/window_view.hpp"

#include <QEventLoop>
#include <QTimer>

#include <utility>

namespace tessaline {

WindowOperations::WindowOperations(ProgrammerState& state, SerialControl& port, Dialogs& dialogs,
                                   WindowView& window)
    : m_state(state), m_port(port), m_dialogs(dialogs), m_window(window),
      m_control(state.buffer, state.model, port, *this) {
    attach(m_control, port);
    m_control.setModelIdentities(&state.modelIdentities);
    // A byte that comes after the last reply still fails the operation.
    m_control.setGracePeriodMs(kStrayByteGraceMs);
    port.setErrorHandler([this](const std::string& reason) { portFailed(reason); });
    port.setStartedHandler([this] { unitStarted(); });
}

// A port that is not ready (it failed, a unit stopped answering, an adapter was plugged in
// late, another program has let go) is opened again before the operation is refused. A
// unit that starts when its port opens takes its start-up delay first; the operation
// waits for it.
void WindowOperations::start(OperationKind kind) {
    if (running())
        return;
    if (!m_state.app.PortReady && reopenPort)
        reopenPort();
    m_control.setUnitType(m_state.app.UnitType);
    m_control.setFastBaud(m_state.app.FastBaud);
    if (m_state.app.PortReady && m_port.starting()) {
        if (!m_held)
            m_window.disable();
        m_held = kind;
        m_window.setStatus(unitStartingText(m_state.app.PortNumber));
        return;
    }
    m_control.StartOperation(kind, m_state.app.PortReady);
}

void WindowOperations::unitStarted() {
    m_window.setStatus(portStatusText(m_state.app.PortNumber, true));
    m_window.updateOperationControls();
    if (const std::optional<OperationKind> held = std::exchange(m_held, std::nullopt)) {
        m_window.enable();
        m_control.StartOperation(*held, m_state.app.PortReady);
    }
}

// Whatever failed the port (an adapter pulled out, the program behind a pseudo-terminal
// ended) may be gone by the next operation, which therefore opens the port afresh.
void WindowOperations::portFailed(const std::string& reason) {
    m_state.app.PortReady = false;
    if (running()) {
        m_control.portFailed(reason);
        return;
    }
    m_window.setStatus(portStatusText(m_state.app.PortNumber, false, reason));
    if (const std::optional<OperationKind> held = std::exchange(m_held, std::nullopt)) {
        m_window.enable();
        // A probe that waited for the unit's start ends with the port.
        if (*held == OperationKind::DetectUnit && m_probeEnded)
            m_probeEnded({OperationKind::DetectUnit, Outcome::PortFailed, reason});
    }
    m_window.updateOperationControls();
}

void WindowOperations::Command1_Click() {
    start(OperationKind::Program);
}

void WindowOperations::Command2_Click() {
    start(OperationKind::Read);
}

void WindowOperations::Command3_Click() {
    start(OperationKind::Erase);
}

void WindowOperations::Command4_Click() {
    start(OperationKind::Blank);
}

void WindowOperations::Command5_Click() {
    start(OperationKind::Verify);
}

void WindowOperations::menuidentify_Click() {
    start(OperationKind::Identify);
}

UnitDetection WindowOperations::detectUnit() {
    if (running())
        return {std::nullopt, operationName(m_control.kind()) + " is running."};
    std::optional<OperationEnd> ended;
    QEventLoop loop;
    m_probeEnded = [&](const OperationEnd& end) {
        ended = end;
        loop.quit();
    };
    start(OperationKind::DetectUnit);
    if (!ended)
        loop.exec();
    m_probeEnded = nullptr;
    if (ended->outcome == Outcome::Done && ended->unitType)
        return {ended->unitType, detectedUnitText(*ended)};
    const std::string status =
        ended->outcome == Outcome::Refused && ended->detail.empty()
            ? portStatusText(m_state.app.PortNumber, false, m_port.failureReason())
            : endStatusText(*ended, m_state.app.PortNumber);
    const std::string message = endMessage(*ended);
    return {std::nullopt, status + (message.empty() ? "" : "\n" + message)};
}

void WindowOperations::stop() {
    m_control.requestStop();
}

void WindowOperations::stopForClose(std::function<void()> then) {
    // The operation ends at its next idle point, once the unit has confirmed the power-down
    // (or stopped answering); it is not waited for here, because the request may come from
    // deep inside the engine's own event processing, where no reply can arrive.
    m_held.reset();
    if (!m_control.running()) {
        QTimer::singleShot(0, std::move(then));
        return;
    }
    m_afterStop = std::move(then);
    m_control.requestStop();
}

// The model that the device ID belongs to, offered when it is not the selected one.
void WindowOperations::identified(std::uint16_t id) {
    const ChipIdentity chip = identifyChip(m_state.modelIdentities, id, m_state.model);
    if (chip.noChip()) {
        m_window.setStatus(operationName(OperationKind::Identify) + " failed");
        m_dialogs.message(noChipText(chip), Dialogs::Icon::Critical);
        return;
    }
    const auto number = static_cast<std::int32_t>(chip.model.value_or(0)) + 1;
    if (!chip.model || number == m_state.app.SelectedModel) {
        m_dialogs.message(crlfLines(identifiedText(chip, chip.model.has_value())),
                          Dialogs::Icon::Information);
        return;
    }
    if (m_dialogs.askYesNo(crlfLines(identifiedText(chip, false))) && selectModel)
        selectModel(number);
}

void WindowOperations::disable() {
    m_window.disable();
}

// Read All has blanked the buffer: whatever file it held is gone from it, whether the read
// then succeeds or not.
void WindowOperations::updatedisplay() {
    m_window.updatedisplay();
    if (m_control.kind() == OperationKind::Read)
        m_window.setLoadedFile("");
}

void WindowOperations::operationBegins(OperationKind kind) {
    m_fastBaud = 0;
    m_window.setStatus(beginText(kind));
    m_window.showStopControl(true);
}

// A reference unit's mode shows when it is chosen, and under the progress in fast mode.
void WindowOperations::linkModeChosen(std::int32_t fastBaud) {
    m_fastBaud = fastBaud;
    m_window.setStatus(linkModeText(fastBaud));
}

void WindowOperations::showProgress(Memory memory, std::int32_t done, std::int32_t total) {
    std::string text = progressText(memory, done, total);
    if (m_fastBaud > 0)
        text += "\n" + linkModeText(m_fastBaud);
    m_window.setProgressStatus(text);
}

void WindowOperations::showConfigByte(std::int32_t index) {
    m_window.setProgressStatus(configByteText(index));
}

void WindowOperations::checkFailed(const CheckFailure& failure) {
    // A window that is closing, or a program that ends on a signal, waits for no one to
    // read it: the message would hold the operation, and the unit powered, until then.
    if (closing())
        return;
    m_dialogs.message(crlfLines(checkFailureMessage(failure)));
}

void WindowOperations::operationEnded(const OperationEnd& end) {
    // The probe's end shows in the programmer unit dialog, which waits for it.
    if (end.kind == OperationKind::DetectUnit && m_probeEnded) {
        if (end.outcome != Outcome::Refused) {
            m_window.showStopControl(false);
            m_window.setStatus(endStatusText(end, m_state.app.PortNumber));
            m_window.enable();
            if (end.outcome == Outcome::PortFailed)
                m_state.app.PortReady = false;
        }
        m_probeEnded(end);
        return;
    }
    const bool closing = static_cast<bool>(m_afterStop);
    const std::string status =
        end.outcome == Outcome::Refused && end.detail.empty()
            ? portStatusText(m_state.app.PortNumber, false, m_port.failureReason())
            : endStatusText(end, m_state.app.PortNumber);
    const std::string message = crlfLines(endMessage(end));
    if (end.outcome != Outcome::Refused) {
        m_window.showStopControl(false);
        if (m_afterStop) {
            // From the event loop, once the engine's frames have unwound.
            QTimer::singleShot(0, std::move(m_afterStop));
            m_afterStop = nullptr;
        }
    }
    switch (end.outcome) {
    case Outcome::Refused:
        if (!status.empty())
            m_window.setStatus(status);
        if (!message.empty())
            m_dialogs.message(message);
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
        if (end.kind == OperationKind::Identify && end.deviceId && !closing)
            identified(*end.deviceId);
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
    case Outcome::UnitRefused:
    case Outcome::LinkFailed:
        // A port that failed under the operation, or a unit that fell silent (its adapter
        // pulled out and plugged in again, its program restarted), is opened afresh by the
        // next button.
        if (end.outcome == Outcome::PortFailed || end.outcome == Outcome::UnitSilent)
            m_state.app.PortReady = false;
        m_window.setStatus(status);
        m_window.enable();
        if (end.kind == OperationKind::Read)
            m_window.updatedisplay();
        if (!closing)
            m_dialogs.message(message);
        return;
    }
}

} // namespace tessaline
