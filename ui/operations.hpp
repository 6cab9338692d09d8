// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"
#include "app/qt_operation_host.hpp"
#include "engine/operation_control.hpp"
#include "ui/dialogs.hpp"

#include <functional>
#include <optional>

namespace tessaline {

class Dialogs;
class SerialControl;
class WindowView;

// The five operations of the window: the buttons and Tools entries start them, the
// serial port's events reach the engine, and the window shows their texts.
class WindowOperations : public QtOperationHost {
public:
    WindowOperations(ProgrammerState& state, SerialControl& port, Dialogs& dialogs,
                     WindowView& window);

    // A button and its menu entry do the same.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    // Tools, Identify Chip: reads the chip's device ID and offers the model it belongs to.
    void menuidentify_Click();
    // Detect in the programmer unit dialog: probes the unit on the port and returns when
    // the probe has ended, with what it found (the window's status line shows its end).
    UnitDetection detectUnit();

    // The Stop control and Escape: the operation stops where the chip is idle.
    void stop();
    // Stops the operation for a window that closes: `then` runs from the event loop once
    // the operation has ended and the unit has answered the end command (or the wait for
    // that answer has run out). The end offers nothing more to the user.
    void stopForClose(std::function<void()> then);
    bool closing() const { return static_cast<bool>(m_afterStop); }
    // The serial port was opened (again): the next operation powers the unit down first.
    void portOpened() { m_control.portOpened(); }
    // An operation whose button opened the port again waits, with the window locked, for
    // the unit to start; a window that closes drops it.
    void dropHeldStart() { m_held.reset(); }
    void setVerifyAfterProgram(bool on) { m_control.setVerifyAfterProgram(on); }

    bool running() const { return m_control.running(); }
    // The operation under way, while one runs.
    std::optional<OperationKind> runningKind() const {
        return running() ? m_control.kind() : std::optional<OperationKind>();
    }
    // Selects a model by its number, as the model dialog does (set by the window).
    std::function<void(std::int32_t)> selectModel;
    // Opens the serial port again, as start-up does (set by the window); an operation
    // tries it before it refuses for a port that is not ready.
    std::function<void()> reopenPort;

    // OperationHost.
    void disable() override;
    void updatedisplay() override;
    void operationBegins(OperationKind kind) override;
    void linkModeChosen(std::int32_t fastBaud) override;
    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override;
    void showConfigByte(std::int32_t index) override;
    void checkFailed(const CheckFailure& failure) override;
    void operationEnded(const OperationEnd& end) override;

private:
    void start(OperationKind kind);
    // The port's own events: the unit has started after the port opened, or the port
    // failed (with or without an operation under way).
    void unitStarted();
    void portFailed(const std::string& reason);

    ProgrammerState& m_state;
    // The operation under way runs in fast mode at this rate; 0: not.
    std::int32_t m_fastBaud = 0;
    SerialControl& m_port;
    Dialogs& m_dialogs;
    WindowView& m_window;
    void identified(std::uint16_t id);

    OperationControl m_control;
    std::function<void()> m_afterStop;
    std::optional<OperationKind> m_held;
    // The end of a probe under way, for detectUnit.
    std::function<void(const OperationEnd&)> m_probeEnded;
};

} // namespace tessaline
