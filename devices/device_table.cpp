// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_table.hpp"

#include "buffer/text_file.hpp"
#include "buffer/text_lines.hpp"

#include <array>

namespace tessaline {

namespace {

struct KeyField {
    std::string_view key;
    std::string DeviceModel::*field;
};

constexpr std::size_t keyIndex(DeviceKey key) {
    return static_cast<std::size_t>(key);
}

// The order decides which key wins when one key is a prefix of a line that another key
// would also match. Keys without a field may occur many times in a record.
const std::array<KeyField, kDeviceKeyCount> kKeys{{
    {"model:", &DeviceModel::model},
    {"flash:", &DeviceModel::flash},
    {"eeprom:", &DeviceModel::eeprom},
    {"configerased:", &DeviceModel::configerased},
    {"voltageseq:", &DeviceModel::voltageseq},
    {"progtime:", &DeviceModel::progtime},
    {"erase:", &DeviceModel::erase},
    {"program:", &DeviceModel::program},
    {"read:", &DeviceModel::read},
    {"blankcheck:", &DeviceModel::blankcheck},
    {"verify:", &DeviceModel::verify},
    {"deviceid:", &DeviceModel::deviceid},
    {"configmask:", &DeviceModel::configmask},
    {"protect:", &DeviceModel::protect},
    {"setting:", nullptr},
    {"option:", nullptr},
}};

void classifyLine(std::string_view line, std::int32_t number, const std::string& fileName,
                  DeviceTable& table) {
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        const KeyField& entry = kKeys[k];
        if (!line.starts_with(entry.key))
            continue;
        const std::string value(line.substr(entry.key.size()));
        if (entry.field == &DeviceModel::model) {
            table.emplace_back();
            table.back().file = fileName;
        } else if (table.empty()) {
            return;
        }
        DeviceModel& record = table.back();
        if (entry.field) {
            record.*entry.field = value;
            record.lines[k] = number;
        } else {
            record.settingLines.push_back({static_cast<DeviceKey>(k), number, value});
            if (record.lines[k] == 0)
                record.lines[k] = number;
        }
        return;
    }
}

} // namespace

std::string_view deviceKeyText(DeviceKey key) {
    return kKeys[keyIndex(key)].key;
}

SourceLine DeviceModel::sourceOf(DeviceKey key) const {
    const std::int32_t line = lines[keyIndex(key)];
    return {file, line > 0 ? line : lines[keyIndex(DeviceKey::Model)]};
}

DeviceTable parseDeviceTable(std::string_view text, const std::string& fileName) {
    DeviceTable table;
    std::int32_t number = 0;
    forEachLine(text, [&](std::string_view line) {
        classifyLine(line, ++number, fileName, table);
        return true;
    });
    return table;
}

std::optional<DeviceTable> LoadDeviceTable(const std::string& path, std::string* reason) {
    DeviceTable table;
    std::int32_t number = 0;
    std::string problem = readTextFileLines(path, [&](std::string_view line) {
        classifyLine(line, ++number, path, table);
        return true;
    });
    if (!problem.empty()) {
        if (reason)
            *reason = std::move(problem);
        return std::nullopt;
    }
    return table;
}

} // namespace tessaline
