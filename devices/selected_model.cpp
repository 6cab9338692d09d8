#include "devices/selected_model.hpp"

#include "buffer/hex_text.hpp"
#include "devices/lenient_number.hpp"

#include <algorithm>

namespace tessaline {

Script splitScript(std::string_view value) {
    std::string text = toLowerAscii(value);
    if (text.empty() || text.back() != ',')
        text.push_back(',');
    Script words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = text.find(',', start);
        words.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return words;
}

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
    if (sequence == "vddvpp")
        values.VoltageSequence = 1;
    else if (sequence == "vppvdd")
        values.VoltageSequence = 2;
    values.ProgTime = leadingWholeNumber(record.progtime);
    values.EraseScript = splitScript(record.erase);
    values.ProgramScript = splitScript(record.program);
    values.ReadScript = splitScript(record.read);
    values.BlankCheckScript = splitScript(record.blankcheck);
    values.VerifyScript = splitScript(record.verify);
}

} // namespace tessaline
