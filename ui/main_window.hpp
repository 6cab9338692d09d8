#pragma once

#include "app/application_values.hpp"
#include "app/qt_operation_host.hpp"
#include "engine/operation_control.hpp"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <array>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace tessaline {

class ClickableLabel;
class Dialogs;
class SerialControl;
class SettingsStore;

// The program's only window: menus, the five operation buttons, the model line, the
// FLASH and EEPROM views, the configuration grid, the loaded-file line and the status
// line. Handlers keep the names the window's controls give them.
class Form1 : public QMainWindow, private QtOperationHost {
    Q_OBJECT
public:
    Form1(ProgrammerState& state, SettingsStore& settings, SerialControl& port, Dialogs& dialogs,
          QWidget* parent = nullptr);
    ~Form1() override;

    // Shows the window, restores the settings, applies the selected model, clears the
    // buffer and opens the serial port.
    void Form_Load();

    void updatedisplay() override;
    void enable();
    void disable() override;
    // Replaces the status line at once.
    void setStatus(const std::string& text);
    void showMessage(const std::string& text) override;

    // OperationHost: the status line shows the operation's texts; progress repaints at
    // most once per screen refresh.
    void operationBegins(OperationKind kind) override;
    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override;
    void showConfigByte(std::int32_t index) override;
    void operationEnded(const OperationEnd& end) override;

    void menuclear_Click();
    void menuopen_Click();
    void LoadHexFile(const std::string& fileName);
    void reload_Click();
    void menusave_Click();
    void menueditflash_Click();
    void menuediteeprom_Click();
    void editConfigByte(std::size_t index);
    void menuportinfo_Click();
    void menuabout_Click();

    // The five operations; a button and its menu entry do the same.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void MSComm1_OnComm();

    // Options.
    void menumodel_Click();
    void menuport_Click();
    void menubaud_Click();
    void menuprogtime_Click();

    OperationControl control;

    // The controls, by the names the program's documents give them.
    QMenu* menu1 = nullptr;
    QMenu* menu2 = nullptr;
    QMenu* menu3 = nullptr;
    QMenu* menu4 = nullptr;
    QMenu* menu5 = nullptr;
    QAction* menuclear = nullptr;
    QAction* menuopen = nullptr;
    QAction* menusave = nullptr;
    QAction* menueditflash = nullptr;
    QAction* menuediteeprom = nullptr;
    QAction* menuprogram = nullptr;
    QAction* menuread = nullptr;
    QAction* menuerase = nullptr;
    QAction* menublank = nullptr;
    QAction* menuverify = nullptr;
    QAction* menumodel = nullptr;
    QAction* menuport = nullptr;
    QAction* menubaud = nullptr;
    QAction* menuprogtime = nullptr;
    QAction* menuportinfo = nullptr;
    QAction* menuabout = nullptr;

    ClickableLabel* Label7 = nullptr;
    ClickableLabel* label_hex = nullptr;
    QPushButton* Command0 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* label_ime = nullptr;
    QLabel* label_info = nullptr;
    QLabel* Label3 = nullptr;
    QPlainTextEdit* tabla_flash = nullptr;
    QLabel* Label4 = nullptr;
    QPlainTextEdit* tabla_eeprom = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* label_status = nullptr;
    // CONFIG1L .. CONFIG7H values and their column captions.
    std::array<ClickableLabel*, kConfigByteCount> configLabels{};
    std::array<QLabel*, kConfigByteCount> configCaptions{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    void setTabOrder();
    void openSerialPort();
    void reopenSerialPort();
    void showProgressStatus(const std::string& text);
    void showStatusNow();
    void wrongEntry();

    ProgrammerState& m_state;
    SettingsStore& m_settings;
    SerialControl& MSComm1;
    Dialogs& m_dialogs;
    double m_scale = 1.0;
    std::string m_pendingStatus;
    QElapsedTimer m_statusShown;
    QTimer m_statusTimer;
};

} // namespace tessaline
