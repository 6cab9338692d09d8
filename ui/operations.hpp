#pragma once

#include "app/application_values.hpp"
#include "app/qt_operation_host.hpp"
#include "engine/operation_control.hpp"

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
    void MSComm1_OnComm();

    bool running() const { return m_control.running(); }

    // OperationHost.
    void disable() override;
    void updatedisplay() override;
    void operationBegins(OperationKind kind) override;
    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override;
    void showConfigByte(std::int32_t index) override;
    void showMessage(const std::string& text) override;
    void operationEnded(const OperationEnd& end) override;

private:
    ProgrammerState& m_state;
    Dialogs& m_dialogs;
    WindowView& m_window;
    OperationControl m_control;
};

} // namespace tessaline
