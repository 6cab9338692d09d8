// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/window_fixture.hpp"

#include "tests/support/sim_rig.hpp"
#include "ui/clickable_label.hpp"

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaline::test {

const char* const kTwoModels = "model:18fA\r\n"
                               "flash:64\r\n"
                               "eeprom:16\r\n"
                               "configerased:00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40\r\n"
                               "voltageseq:vddvpp\r\n"
                               "progtime:2\r\n"
                               "model:18fB\r\n"
                               "flash:4096\r\n"
                               "configerased:01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E\r\n"
                               "voltageseq:vppvdd\r\n"
                               "progtime:5\r\n";

WindowFixture::WindowFixture(const std::string& devicesText) {
    state.app.ProgramFolder = folder.path();
    state.setDeviceTable(parseDeviceTable(devicesText));
    settings = std::make_unique<SettingsStore>(QString::fromStdString(folder.file("settings.ini")));
    port.presentPorts = {2};
}

namespace {

template <typename Widget> Widget* find(Form1& form, const QString& name) {
    auto* found = form.findChild<Widget*>(name);
    if (!found)
        ADD_FAILURE() << "the window has no control " << name.toStdString();
    return found;
}

} // namespace

WindowControls::WindowControls(Form1& form)
    : window(form), menu1(find<QMenu>(form, "menu1")), menu2(find<QMenu>(form, "menu2")),
      menu3(find<QMenu>(form, "menu3")), menu4(find<QMenu>(form, "menu4")),
      menu5(find<QMenu>(form, "menu5")), menuclear(find<QAction>(form, "menuclear")),
      menuopen(find<QAction>(form, "menuopen")), menusave(find<QAction>(form, "menusave")),
      menueditflash(find<QAction>(form, "menueditflash")),
      menuediteeprom(find<QAction>(form, "menuediteeprom")),
      menuprogram(find<QAction>(form, "menuprogram")), menuread(find<QAction>(form, "menuread")),
      menuerase(find<QAction>(form, "menuerase")), menublank(find<QAction>(form, "menublank")),
      menuverify(find<QAction>(form, "menuverify")), menumodel(find<QAction>(form, "menumodel")),
      menuport(find<QAction>(form, "menuport")), menubaud(find<QAction>(form, "menubaud")),
      menuprogtime(find<QAction>(form, "menuprogtime")),
      menuportinfo(find<QAction>(form, "menuportinfo")),
      menuabout(find<QAction>(form, "menuabout")), Label7(find<ClickableLabel>(form, "Label7")),
      label_hex(find<ClickableLabel>(form, "label_hex")),
      Command0(find<QPushButton>(form, "Command0")), Command1(find<QPushButton>(form, "Command1")),
      Command2(find<QPushButton>(form, "Command2")), Command3(find<QPushButton>(form, "Command3")),
      Command4(find<QPushButton>(form, "Command4")), Command5(find<QPushButton>(form, "Command5")),
      label_ime(find<QLabel>(form, "label_ime")), label_info(find<QLabel>(form, "label_info")),
      tabla_flash(find<QPlainTextEdit>(form, "tabla_flash")),
      tabla_eeprom(find<QPlainTextEdit>(form, "tabla_eeprom")),
      label_status(find<QLabel>(form, "label_status")) {
    static const char* const kNames[] = {
        "label_conf1l", "label_conf1h", "label_conf2l", "label_conf2h", "label_conf3l",
        "label_conf3h", "label_conf4l", "label_conf4h", "label_conf5l", "label_conf5h",
        "label_conf6l", "label_conf6h", "label_conf7l", "label_conf7h"};
    for (std::size_t k = 0; k < configLabels.size(); ++k)
        configLabels[k] = find<ClickableLabel>(form, kNames[k]);
}

WindowControls& WindowFixture::load(SerialControl* otherPort) {
    window = std::make_unique<Form1>(state, *settings, otherPort ? *otherPort : port, dialogs);
    controls = std::make_unique<WindowControls>(*window);
    window->Form_Load();
    return *controls;
}

namespace {

std::string settingLinesText(const DeviceModel& record) {
    std::string text;
    for (const DeviceModel::ListedLine& line : record.settingLines)
        text += std::string(deviceKeyText(line.key)) + line.value + "\r\n";
    return text;
}

} // namespace

std::string shippedRecordText(const std::string& model) {
    for (const DeviceModel& record : shippedDevices()) {
        if (record.model != model)
            continue;
        return "model:" + record.model + "\r\nflash:" + record.flash +
               "\r\neeprom:" + record.eeprom + "\r\nconfigerased:" + record.configerased +
               "\r\nvoltageseq:" + record.voltageseq + "\r\nprogtime:" + record.progtime +
               "\r\nerase:" + record.erase + "\r\nprogram:" + record.program +
               "\r\nread:" + record.read + "\r\nblankcheck:" + record.blankcheck +
               "\r\nverify:" + record.verify + "\r\ndeviceid:" + record.deviceid +
               "\r\nconfigmask:" + record.configmask + "\r\nprotect:" + record.protect + "\r\n" +
               settingLinesText(record);
    }
    return {};
}

bool runUntil(const std::function<bool()>& condition, int timeoutMs) {
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(1);
    loop.exec();
    return condition();
}

bool operationEnds(Form1& window, int timeoutMs) {
    return runUntil([&window] { return !window.operationRunning(); }, timeoutMs);
}

} // namespace tessaline::test
