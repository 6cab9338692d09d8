// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/selected_model.hpp"

#include "buffer/hex_text.hpp"
#include "buffer/text_rules.hpp"

#include <algorithm>

namespace tessaline {

ConfigValues parseConfigErased(std::string_view value) {
    const std::string upper = toUpperAscii(value);
    ConfigValues values{};
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t column = 3 * k;
        const std::string_view pair =
            column < upper.size() ? std::string_view(upper).substr(column, 2) : std::string_view();
        values[k] = ParseHex2(pair);
    }
    return values;
}

void ApplySelectedModel(const DeviceModel& record, SelectedModelValues& values) {
    values.SelectedModelName = toUpperAscii(record.model);
    values.FlashSize = std::min(leadingWholeNumber(record.flash), kMaxFlashSize);
    values.EepromSize = std::min(leadingWholeNumber(record.eeprom), kMaxEepromSize);
    values.ConfigErased = parseConfigErased(record.configerased);
    const std::string sequence = toLowerAscii(record.voltageseq);
    if (sequence == "vddvpp" || sequence == "vppvdd") {
        values.VoltageSequence = sequence == "vddvpp" ? 1 : 2;
        values.VoltageSequenceSource = record.sourceOf(DeviceKey::VoltageSeq);
    } else if (values.VoltageSequence == 0) {
        values.VoltageSequenceSource = record.sourceOf(DeviceKey::VoltageSeq);
    }
    values.ProgTime = leadingWholeNumber(record.progtime);
    values.ProgTimeSource = record.sourceOf(DeviceKey::ProgTime);
    values.EraseScript = decodeScript(record.erase, record.sourceOf(DeviceKey::Erase));
    values.ProgramScript = decodeScript(record.program, record.sourceOf(DeviceKey::Program));
    values.ReadScript = decodeScript(record.read, record.sourceOf(DeviceKey::Read));
    values.BlankCheckScript =
        decodeScript(record.blankcheck, record.sourceOf(DeviceKey::BlankCheck));
    values.VerifyScript = decodeScript(record.verify, record.sourceOf(DeviceKey::Verify));
    values.Safety = parseChipSafety(record);
    values.Settings = parseConfigSettings(record, values.Safety.configMask, values.ConfigErased);
    if (values.Settings.error && !values.Safety.error)
        values.Safety.error = values.Settings.error;
}

} // namespace tessaline
