#include "tests/support/window_fixture.hpp"

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

} // namespace tessaline::test
