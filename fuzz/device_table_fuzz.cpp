// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any text as devices.cfg; every record is applied, which decodes its
// scripts and reads its named settings, every script is checked and every option set.
#include "devices/device_table.hpp"
#include "devices/script_check.hpp"
#include "devices/selected_model.hpp"

#include <string_view>

using namespace tessaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SelectedModelValues values;
    for (const DeviceModel& record : parseDeviceTable(text, "devices.cfg")) {
        ApplySelectedModel(record, values);
        ProgramBuffer buffer;
        ResetBuffer(buffer, values.FlashSize, values.EepromSize, values.ConfigErased);
        for (const DeviceScript* script :
             {&values.EraseScript, &values.ProgramScript, &values.ReadScript,
              &values.BlankCheckScript, &values.VerifyScript})
            checkScript(*script, values.VoltageSequence, values.VoltageSequenceSource);
        for (const ConfigSetting& setting : values.Settings.settings) {
            for (const ConfigOption& option : setting.options) {
                applyOption(buffer.Config, setting, option);
                setting.text(buffer.Config[setting.configIndex]);
            }
        }
    }
    return 0;
}
