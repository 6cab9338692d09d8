// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/chip_identity.hpp"
#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"
#include "protocol/unit_protocol.hpp"

#include <cstdint>
#include <string>
#include <utility>

namespace tessaline {

inline constexpr const char* kAppTitle = "Quenvar Tessaline";

// Values that describe the running instance.
struct ApplicationValues {
    // The executable's folder, always ending with a separator.
    std::string ProgramFolder;
    std::string AppTitle = kAppTitle;
    // Folder offered first by the file dialogs, ending with a separator.
    std::string LastPath;
    std::int32_t SelectedModel = 1;
    std::int32_t PortNumber = 2;
    std::string BaudRate = "56000";
    // Milliseconds to wait after the port opens, discarding what arrives.
    std::int32_t UnitDelayMs = 0;
    // The type of the unit on the port (stored per port).
    CommandSet UnitType = CommandSet::Original;
    // A reference unit's fast rate on the port (stored per port); 0: reply-paced.
    std::int32_t FastBaud = 1000000;
    bool PortReady = false;
};

// Everything one programmer session works on: the device table, the selected model's
// values, the buffer that mirrors the chip, and the instance values.
struct ProgrammerState {
    ApplicationValues app;
    DeviceTable deviceTable;
    // What each model's device ID names, parsed once with the table.
    ModelIdentities modelIdentities;
    SelectedModelValues model;
    ProgramBuffer buffer;

    void setDeviceTable(DeviceTable table) {
        deviceTable = std::move(table);
        modelIdentities = tessaline::modelIdentities(deviceTable);
    }
    const DeviceModel& selectedRecord() const {
        return deviceTable.at(static_cast<std::size_t>(app.SelectedModel - 1));
    }
    void resetBuffer() {
        ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    }
};

} // namespace tessaline
