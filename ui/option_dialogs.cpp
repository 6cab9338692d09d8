// The Options menu: model, serial port number, baud rate and programming time.
#include "ui/main_window.hpp"

#include "app/serial_control.hpp"
#include "app/settings_store.hpp"
#include "engine/operation_texts.hpp"
#include "options/option_rules.hpp"
#include "ui/dialogs.hpp"
#include "ui/model_list.hpp"

#include <QLabel>

namespace tessaline {

void Form1::wrongEntry() {
    m_dialogs.message("Wrong entry!");
}

void Form1::menumodel_Click() {
    ApplicationValues& app = m_state.app;
    const auto count = static_cast<std::int32_t>(m_state.deviceTable.size());
    const OptionEntry<std::int32_t> chosen = modelEntry(
        m_dialogs.inputBox(modelListPrompt(m_state.deviceTable), std::to_string(app.SelectedModel)),
        count);
    if (chosen.verdict != EntryVerdict::Take || chosen.value == app.SelectedModel)
        return;
    app.SelectedModel = chosen.value;
    m_settings.WriteSetting(kSettingModel, std::to_string(chosen.value));
    ApplySelectedModel(m_state.selectedRecord(), m_state.model);
    menuclear_Click();
}

void Form1::menuport_Click() {
    ApplicationValues& app = m_state.app;
    MSComm1.setPortOpen(false);
    const OptionEntry<std::int32_t> entry = portEntry(m_dialogs.inputBox(
        "Please select programmer Serial Port Number [1-8].", std::to_string(app.PortNumber)));
    if (entry.verdict == EntryVerdict::Take)
        app.PortNumber = entry.value;
    else if (entry.verdict == EntryVerdict::Wrong)
        wrongEntry();
    m_settings.WriteSetting(kSettingPortNumber, std::to_string(app.PortNumber));
    MSComm1.setCommPort(app.PortNumber);
    reopenSerialPort();
}

void Form1::menubaud_Click() {
    ApplicationValues& app = m_state.app;
    MSComm1.setPortOpen(false);
    const OptionEntry<std::string> entry = baudEntry(
        m_dialogs.inputBox("Please select programmer Baud Rate [1200-56000].", app.BaudRate));
    if (entry.verdict == EntryVerdict::Take)
        app.BaudRate = entry.value;
    else if (entry.verdict == EntryVerdict::Wrong)
        wrongEntry();
    m_settings.WriteSetting(kSettingBaudRate, app.BaudRate);
    MSComm1.setSettings(serialSettingsText(app.BaudRate));
    reopenSerialPort();
}

void Form1::menuprogtime_Click() {
    const OptionEntry<std::int32_t> entry = progTimeEntry(m_dialogs.inputBox(
        "Enter new programming time in ms [1-30].", std::to_string(m_state.model.ProgTime)));
    if (entry.verdict == EntryVerdict::Take)
        m_state.model.ProgTime = entry.value;
    else if (entry.verdict == EntryVerdict::Wrong)
        wrongEntry();
}

void Form1::reopenSerialPort() {
    ApplicationValues& app = m_state.app;
    app.PortReady = MSComm1.setPortOpen(true);
    setStatus(portStatusText(app.PortNumber, app.PortReady));
    label_status->setToolTip(QString::fromStdString(MSComm1.description()));
}

} // namespace tessaline
