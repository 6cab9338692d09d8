// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"
#include "ui/buffer_editors.hpp"
#include "ui/config_bits_editor.hpp"
#include "ui/file_commands.hpp"
#include "ui/help_dialogs.hpp"
#include "ui/operations.hpp"
#include "ui/option_dialogs.hpp"
#include "ui/window_view.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace tessaline {

class ClickableLabel;
class StatusLabel;
class Dialogs;
class SerialControl;
class SettingsStore;

// The program's only window: menus, the five operation buttons, the model line, the
// FLASH and EEPROM views, the configuration grid, the loaded-file line and the status
// line. Each control carries, as its object name, the name the program's documents give
// it. The commands behind the menus, buttons and clickable labels live in their groups:
// file commands, buffer editors, option dialogs, operations and help.
class Form1 : public QMainWindow, private WindowView {
    Q_OBJECT
public:
    Form1(ProgrammerState& state, SettingsStore& settings, SerialControl& port, Dialogs& dialogs,
          QWidget* parent = nullptr);
    ~Form1() override;

    // Shows the window, restores the settings, applies the selected model, clears the
    // buffer and opens the serial port.
    void Form_Load();

    // Rebuilds everything shown from the buffer.
    void updatedisplay() override;
    // Lock and unlock the five menus and the five operation buttons.
    void enable() override;
    void disable() override;
    void updateOperationControls() override;

    bool operationRunning() const { return m_operations.running(); }

    // A HEX file that the desktop hands the window (its command line, a second start):
    // opened as Open HEX File opens a chosen file, once no long task, operation or dialog
    // is in the way.
    void openFromDesktop(const QString& file);
    // Shows the window on top, for a second start.
    void bringToFront();
    // SIGTERM, SIGHUP or SIGINT: ends the program as a close does, without the question.
    // An operation stops at its next idle point and the unit powers down first; the
    // program then exits with 128 + the signal's number.
    void quitOnSignal(int signalNumber);
    // Ends the program with the given status (tests record it instead).
    std::function<void(int status)> exitProgram = [](int status) {
        QCoreApplication::exit(status);
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // While an operation runs, asks whether to stop it; a window that closes stops it
    // first, so that the unit has removed the voltages when the program ends.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // WindowView, for the command groups.
    void letPendingEventsRun() override;
    void setStatus(const std::string& text) override;
    void setProgressStatus(const std::string& text) override;
    void setStatusToolTip(const std::string& text) override;
    void showStopControl(bool shown) override;
    std::string loadedFile() const override;
    void setLoadedFile(const std::string& name) override;

    void buildMenus();
    void buildControls();
    void setTabOrder();
    void showStatusNow();
    // The client area's height grows by this much over its own (0: its own size).
    void growClient(int extraHeight);
    // True while a long task or an operation holds the window, or a dialog is open.
    bool busy() const;
    void openPendingFiles();

    ProgrammerState& m_state;
    SettingsStore& m_settings;
    SerialControl& MSComm1;
    Dialogs& m_dialogs;

    WindowOperations m_operations;
    FileCommands m_files;
    BufferEditors m_editors;
    OptionDialogs m_options;
    ConfigBitsEditor m_configBits;
    HelpDialogs m_help;

    QMenu* menu1 = nullptr;
    QMenu* menu2 = nullptr;
    QMenu* menu3 = nullptr;
    QMenu* menu4 = nullptr;
    QMenu* menu5 = nullptr;
    QAction* menuverifyafter = nullptr;
    ClickableLabel* label_hex = nullptr;
    QPushButton* Command0 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* label_ime = nullptr;
    QLabel* label_info = nullptr;
    QPlainTextEdit* tabla_flash = nullptr;
    QPlainTextEdit* tabla_eeprom = nullptr;
    StatusLabel* label_status = nullptr;
    // Over the status caption while an operation runs.
    QPushButton* CommandStop = nullptr;
    // CONFIG1L .. CONFIG7H.
    std::array<ClickableLabel*, kConfigByteCount> configLabels{};

    double m_scale = 1.0;
    QSize m_clientSize;
    // The status line's place, and the larger one for a text that does not fit in it.
    QRect m_statusGeometry;
    QRect m_wideStatusGeometry;
    std::string m_pendingStatus;
    QElapsedTimer m_statusShown;
    QTimer m_statusTimer;
    // Files handed over while the window was busy, opened in turn when it is free.
    QStringList m_pendingFiles;
    QTimer m_pendingTimer;
    bool m_closeQuestionOpen = false;
    // Between disable and enable.
    bool m_locked = false;
};

} // namespace tessaline
