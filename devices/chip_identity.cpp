// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/chip_identity.hpp"

#include "buffer/text_rules.hpp"

namespace tessaline {

ModelIdentities modelIdentities(const DeviceTable& table) {
    ModelIdentities models;
    models.reserve(table.size());
    for (const DeviceModel& record : table)
        models.push_back({toUpperAscii(record.model), parseDeviceId(record.deviceid)});
    return models;
}

ChipIdentity identifyChip(const ModelIdentities& models, std::uint16_t read,
                          const SelectedModelValues& selected) {
    ChipIdentity chip;
    chip.read = read;
    chip.selectedModelName = selected.SelectedModelName;
    std::optional<DeviceIdSpec> spec = selected.Safety.deviceId;
    // The first model whose ID matches.
    for (std::size_t i = 0; i < models.size() && !chip.model; ++i)
        if (models[i].deviceId && models[i].deviceId->matches(read))
            chip.model = i;
    if (chip.model) {
        chip.modelName = models[*chip.model].name;
        spec = models[*chip.model].deviceId;
    }
    if (spec)
        chip.partMask = spec->mask;
    return chip;
}

} // namespace tessaline
