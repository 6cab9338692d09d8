#include "devices/chip_identity.hpp"

#include "buffer/text_rules.hpp"

namespace tessaline {

ChipIdentity identifyChip(const DeviceTable& table, std::uint16_t read,
                          const SelectedModelValues& selected) {
    ChipIdentity chip;
    chip.read = read;
    chip.selectedModelName = selected.SelectedModelName;
    std::optional<DeviceIdSpec> spec = selected.Safety.deviceId;
    chip.model = modelWithDeviceId(table, read);
    if (chip.model) {
        chip.modelName = toUpperAscii(table[*chip.model].model);
        spec = parseDeviceId(table[*chip.model].deviceid);
    }
    if (spec)
        chip.partMask = spec->mask;
    return chip;
}

} // namespace tessaline
