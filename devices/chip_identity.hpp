// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

// What a device ID read from the socket tells about the chip, beside the selected model.
struct ChipIdentity {
    // DEVID2:DEVID1 as read.
    std::uint16_t read = 0;
    // The bits that name the part; the rest are the silicon revision. They are those of
    // the model the ID belongs to, else those of the selected model's ID; with neither,
    // every bit.
    std::uint16_t partMask = 0xFFFF;
    // The first model of the device file whose ID matches, by its position in the table,
    // and its name in upper case.
    std::optional<std::size_t> model;
    std::string modelName;
    std::string selectedModelName;

    // A device ID of 0000h or FFFFh: no chip drives the data line.
    static bool noChip(std::uint16_t id) { return id == 0x0000 || id == 0xFFFF; }
    bool noChip() const { return noChip(read); }
    bool operator==(const ChipIdentity&) const = default;
};

// A model of the device file by the device ID that names it, parsed once.
struct ModelIdentity {
    std::string name; // upper case, as the programs show it
    std::optional<DeviceIdSpec> deviceId;
};
using ModelIdentities = std::vector<ModelIdentity>;

// Every record's identity, in the table's order.
ModelIdentities modelIdentities(const DeviceTable& table);

ChipIdentity identifyChip(const ModelIdentities& models, std::uint16_t read,
                          const SelectedModelValues& selected);

} // namespace tessaline
