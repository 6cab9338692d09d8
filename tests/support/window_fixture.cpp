#include "tests/support/window_fixture.hpp"

#include "tests/support/sim_rig.hpp"

#include <QEventLoop>
#include <QTimer>

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
    state.deviceTable = parseDeviceTable(devicesText);
    settings = std::make_unique<SettingsStore>(QString::fromStdString(folder.file("settings.ini")));
    port.presentPorts = {2};
}

Form1& WindowFixture::load(SerialControl* otherPort) {
    window = std::make_unique<Form1>(state, *settings, otherPort ? *otherPort : port, dialogs);
    window->Form_Load();
    return *window;
}

std::string shippedRecordText(const std::string& model) {
    for (const DeviceModel& record : shippedDevices()) {
        if (record.model != model)
            continue;
        return "model:" + record.model + "\r\nflash:" + record.flash +
               "\r\neeprom:" + record.eeprom + "\r\nconfigerased:" + record.configerased +
               "\r\nvoltageseq:" + record.voltageseq + "\r\nprogtime:" + record.progtime +
               "\r\nerase:" + record.erase + "\r\nprogram:" + record.program +
               "\r\nread:" + record.read + "\r\nblankcheck:" + record.blankcheck +
               "\r\nverify:" + record.verify + "\r\n";
    }
    return {};
}

bool operationEnds(OperationControl& control, int timeoutMs) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!control.running())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    return !control.running();
}

} // namespace tessaline::test
