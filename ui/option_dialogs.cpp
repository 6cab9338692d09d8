// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/option_dialogs.hpp"

#include "app/port_name.hpp"
#include "app/restored_settings.hpp"
#include "app/serial_control.hpp"
#include "app/serial_ports.hpp"
#include "app/settings_store.hpp"
#include "options/option_rules.hpp"
#include "texts/operation_texts.hpp"
#include "texts/port_texts.hpp"
#include "ui/dialogs.hpp"
#include "ui/file_commands.hpp"
#include "ui/model_list.hpp"
#include "ui/window_view.hpp"

namespace tessaline {

OptionDialogs::OptionDialogs(ProgrammerState& state, SettingsStore& settings, SerialControl& port,
                             Dialogs& dialogs, WindowView& window, FileCommands& files)
    : m_state(state), m_settings(settings), MSComm1(port), m_dialogs(dialogs), m_window(window),
      m_files(files) {}

void OptionDialogs::wrongEntry() {
    m_dialogs.message("Wrong entry!");
}

void OptionDialogs::menumodel_Click() {
    ApplicationValues& app = m_state.app;
    const auto count = static_cast<std::int32_t>(m_state.deviceTable.size());
    const OptionEntry<std::int32_t> chosen = modelEntry(
        m_dialogs.inputBox(modelListPrompt(m_state.deviceTable), std::to_string(app.SelectedModel)),
        count);
    if (chosen.verdict != EntryVerdict::Take || chosen.value == app.SelectedModel)
        return;
    selectModel(chosen.value);
}

void OptionDialogs::selectModel(std::int32_t number) {
    m_state.app.SelectedModel = number;
    m_settings.WriteSetting(kSettingModel, std::to_string(number));
    ApplySelectedModel(m_state.selectedRecord(), m_state.model);
    m_files.menuclear_Click();
}

void OptionDialogs::menuverifyafter_Toggled(bool checked) {
    m_settings.WriteSetting(kSettingVerifyAfterProgram, checked ? "1" : "0");
}

void OptionDialogs::menuport_Click() {
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

void OptionDialogs::menubaud_Click() {
    ApplicationValues& app = m_state.app;
    MSComm1.setPortOpen(false);
    const OptionEntry<std::string> entry = baudEntry(
        m_dialogs.inputBox("Please select programmer Baud Rate [1200-56000].", app.BaudRate));
    if (entry.verdict == EntryVerdict::Take)
        app.BaudRate = entry.value;
    else if (entry.verdict == EntryVerdict::Wrong)
        wrongEntry();
    m_settings.WriteSetting(kSettingBaudRate, app.BaudRate);
    if (const std::optional<SerialSettings> serial = serialSettingsForBaud(app.BaudRate))
        MSComm1.setSettings(*serial);
    reopenSerialPort();
}

void OptionDialogs::menuprogtime_Click() {
    const OptionEntry<std::int32_t> entry = progTimeEntry(m_dialogs.inputBox(
        "Enter new programming time in ms [1-30].", std::to_string(m_state.model.ProgTime)));
    if (entry.verdict == EntryVerdict::Take)
        m_state.model.ProgTime = entry.value;
    else if (entry.verdict == EntryVerdict::Wrong)
        wrongEntry();
}

void OptionDialogs::menuunitdelay_Click() {
    ApplicationValues& app = m_state.app;
    const OptionEntry<std::int32_t> entry = unitDelayEntry(m_dialogs.inputBox(
        "Enter the programmer unit's start-up delay in ms [0-10000]; a unit that resets when "
        "its port opens (an Arduino with its bootloader) needs about 2000.",
        std::to_string(app.UnitDelayMs)));
    if (entry.verdict == EntryVerdict::Wrong)
        wrongEntry();
    if (entry.verdict != EntryVerdict::Take)
        return;
    app.UnitDelayMs = entry.value;
    m_settings.WriteSetting(kSettingUnitDelay, std::to_string(entry.value));
    MSComm1.setStartupDelay(entry.value);
}

std::string OptionDialogs::portSettingDeviceName() const {
    return portSettingDevice(serialDeviceForPort(m_state.app.PortNumber, m_settings.folder()));
}

void OptionDialogs::storeUnitType(CommandSet type) {
    m_state.app.UnitType = type;
    m_settings.WriteSetting(unitTypeSettingName(portSettingDeviceName()), unitTypeText(type));
}

void OptionDialogs::menuunit_Click() {
    const std::string port =
        "port " + std::to_string(m_state.app.PortNumber) + " (" + portSettingDeviceName() + ")";
    const std::optional<ProgrammerUnitChoice> chosen =
        m_dialogs.programmerUnit(port, {m_state.app.UnitType, m_state.app.FastBaud}, [this] {
            UnitDetection found =
                detectUnit ? detectUnit() : UnitDetection{std::nullopt, std::string()};
            if (found.type)
                storeUnitType(*found.type);
            return found;
        });
    if (!chosen)
        return;
    storeUnitType(chosen->type);
    m_state.app.FastBaud = chosen->fastBaud;
    m_settings.WriteSetting(fastBaudSettingName(portSettingDeviceName()),
                            std::to_string(chosen->fastBaud));
}

void OptionDialogs::reopenSerialPort() {
    ApplicationValues& app = m_state.app;
    // Each port keeps the type of its unit.
    app.UnitType = restoreUnitType(&m_settings, portSettingDeviceName(), StoreRepair::WriteBack);
    app.FastBaud = restoreFastBaud(&m_settings, portSettingDeviceName(), StoreRepair::WriteBack);
    app.PortReady = MSComm1.setPortOpen(true);
    if (app.PortReady && portOpened)
        portOpened();
    m_window.setStatus(
        app.PortReady && MSComm1.starting()
            ? unitStartingText(app.PortNumber)
            : portStatusText(app.PortNumber, app.PortReady, MSComm1.failureReason()));
    m_window.updateOperationControls();
    // The tooltip names the device and, after a failure, the reason; then where each port
    // number leads, for a user looking for the number of an adapter.
    std::string map = portMapText(portNumberMap(m_settings.folder(), systemSerialPorts()));
    if (!map.empty() && map.back() == '\n')
        map.pop_back();
    m_window.setStatusToolTip(MSComm1.description() + "\n\nPort numbers:\n" +
                              (map.empty() ? std::string("none leads to a serial port") : map));
}

void OptionDialogs::openSerialPort() {
    ApplicationValues& app = m_state.app;
    // A stored rate that is no rate leaves the port at the rate it has.
    if (const std::optional<SerialSettings> serial = serialSettingsForBaud(app.BaudRate))
        MSComm1.setSettings(*serial);
    MSComm1.setCommPort(app.PortNumber);
    MSComm1.setStartupDelay(app.UnitDelayMs);
    reopenSerialPort();
}

} // namespace tessaline
