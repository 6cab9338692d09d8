// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/selected_model.hpp"

#include "buffer/hex_text.hpp"
#include "buffer/text_rules.hpp"

#include <algorithm>
#include <optional>
#include <utility>

namespace tessaline {

namespace {

// Decimal digits, perhaps after blanks and before spaces.
bool isWholeNumberText(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    const std::size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        ++at;
    return at > digits && text.find_first_not_of(' ', at) == std::string_view::npos;
}

// The sizes and the programming time are read by their leading number, so a typo such as
// "flash:16k" or "progtime:2.5" would make a model of 16 bytes, or 2 ms, without a word:
// anything after the digits but spaces makes the record faulty. The first such field.
std::optional<std::string> numberFieldError(const DeviceModel& record) {
    const struct {
        DeviceKey key;
        const std::string* value;
        const char* form;
    } fields[] = {
        {DeviceKey::Flash, &record.flash, "a number of bytes in decimal digits (32768)"},
        {DeviceKey::Eeprom, &record.eeprom, "a number of bytes in decimal digits (256)"},
        {DeviceKey::ProgTime, &record.progtime, "a number of milliseconds in decimal digits (2)"},
    };
    for (const auto& field : fields) {
        const bool present =
            record.lines[static_cast<std::size_t>(field.key)] > 0 || !field.value->empty();
        if (!present || isWholeNumberText(*field.value))
            continue;
        const std::string_view key = deviceKeyText(field.key);
        return record.sourceOf(field.key).prefix() + "The " +
               std::string(key.substr(0, key.size() - 1)) + " value '" + *field.value +
               "' is not " + field.form + ".";
    }
    return std::nullopt;
}

} // namespace

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
    if (std::optional<std::string> problem = numberFieldError(record))
        values.Safety.error = std::move(problem);
}

} // namespace tessaline
