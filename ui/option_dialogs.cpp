// The Options menu: model, serial port number, baud rate and programming time.
#include "ui/main_window.hpp"

#include "app/serial_control.hpp"
#include "app/settings_store.hpp"
#include "devices/lenient_number.hpp"
#include "ui/dialogs.hpp"
#include "ui/model_list.hpp"

#include <QLabel>

namespace tessaline {

void Form1::wrongEntry() {
    m_dialogs.message("Wrong entry!");
}

void Form1::menumodel_Click() {
    ApplicationValues& app = m_state.app;
    const std::string entry =
        m_dialogs.inputBox(modelListPrompt(m_state.deviceTable), std::to_string(app.SelectedModel));
    const std::int32_t chosen = leadingWholeNumber(entry);
    if (chosen < 1 || chosen > static_cast<std::int32_t>(m_state.deviceTable.size()) ||
        chosen == app.SelectedModel)
        return;
    app.SelectedModel = chosen;
    m_settings.WriteSetting(kSettingModel, std::to_string(chosen));
    ApplySelectedModel(m_state.selectedRecord(), m_state.model);
    menuclear_Click();
}

void Form1::menuport_Click() {
    ApplicationValues& app = m_state.app;
    MSComm1.setPortOpen(false);
    const std::string entry = m_dialogs.inputBox(
        "Please select programmer Serial Port Number [1-8].", std::to_string(app.PortNumber));
    if (entry.size() == 1 && entry[0] >= '1' && entry[0] <= '8')
        app.PortNumber = entry[0] - '0';
    else if (!entry.empty())
        wrongEntry();
    m_settings.WriteSetting(kSettingPortNumber, std::to_string(app.PortNumber));
    MSComm1.setCommPort(app.PortNumber);
    reopenSerialPort();
}

void Form1::menubaud_Click() {
    ApplicationValues& app = m_state.app;
    MSComm1.setPortOpen(false);
    const std::string entry =
        m_dialogs.inputBox("Please select programmer Baud Rate [1200-56000].", app.BaudRate);
    const double rate = leadingNumber(entry);
    if (rate != 0) {
        if (rate >= 1200 && rate <= 56000)
            app.BaudRate = decimalText(rate);
        else
            wrongEntry();
    }
    m_settings.WriteSetting(kSettingBaudRate, app.BaudRate);
    MSComm1.setSettings(app.BaudRate + ",n,8,1");
    reopenSerialPort();
}

void Form1::menuprogtime_Click() {
    const std::string entry = m_dialogs.inputBox("Enter new programming time in ms [1-30].",
                                                 std::to_string(m_state.model.ProgTime));
    if (entry.empty())
        return;
    const double time = leadingNumber(entry);
    if (time >= 1 && time <= 30)
        m_state.model.ProgTime = roundHalfEven(time);
    else
        wrongEntry();
}

void Form1::reopenSerialPort() {
    ApplicationValues& app = m_state.app;
    app.PortReady = MSComm1.setPortOpen(true);
    setStatus("Serial port " + std::to_string(app.PortNumber) +
              (app.PortReady ? " ready" : " error!"));
    label_status->setToolTip(QString::fromStdString(MSComm1.description()));
}

} // namespace tessaline
