// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application_values.hpp"
#include "app/program_folder.hpp"
#include "app/qt_serial_port.hpp"
#include "app/settings_store.hpp"
#include "app/single_instance.hpp"
#include "app/stop_signals.hpp"
#include "ui/main_window.hpp"
#include "ui/qt_dialogs.hpp"
#include "ui/startup.hpp"

#include <QApplication>

#include <iostream>

using namespace tessaline;

// Start-up: one window only (a second start hands its file to the running one), the
// program folder and title, the device table, then the window, whose load handler
// restores the settings and opens the serial port.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QString file = fileArgument(QApplication::arguments());
    SingleInstance instance;
    if (!instance.acquire()) {
        if (instance.handOver(file))
            return 0;
        std::cerr << "tessaline: another window holds the lock but does not answer; "
                     "nothing was handed over\n";
        return 1;
    }

    ProgrammerState state;
    state.app.ProgramFolder = ProgramFolder().toStdString();
    state.app.AppTitle = kAppTitle;
    QtDialogs dialogs(QString::fromStdString(state.app.AppTitle));
    std::optional<DeviceTable> table = loadDeviceTableForWindow(state.app.ProgramFolder, dialogs);
    if (!table)
        return 1;
    state.setDeviceTable(std::move(*table));

    SettingsStore settings = SettingsStore::userStore();
    QtSerialPort port(settings.folder());
    Form1 window(state, settings, port, dialogs);
    dialogs.setParent(&window);
    QObject::connect(
        &instance, &SingleInstance::activated, &window,
        [&window](const QString& handed) {
            window.bringToFront();
            if (!handed.isEmpty())
                window.openFromDesktop(handed);
        },
        Qt::QueuedConnection);
    // A logout, a closed terminal or a kill stops the operation safely before the end.
    const StopSignals stopSignals(
        [&window](int signalNumber) { window.quitOnSignal(signalNumber); });
    window.Form_Load();
    // A signal that came while the window started (no operation can run yet) ends it
    // here: the event loop that would have ended it has not begun.
    if (const int signalNumber = stopSignals.received(); signalNumber != 0)
        return 128 + signalNumber;
    if (!file.isEmpty())
        window.openFromDesktop(file);
    return QApplication::exec();
}
