#include "devices/device_table.hpp"

#include "buffer/text_lines.hpp"

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tessaline {

namespace {

struct KeyField {
    std::string_view key;
    std::string DeviceModel::*field;
};

// The order decides which key wins when one key is a prefix of a line that another key
// would also match.
const std::array<KeyField, 11> kKeys{{
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
}};

void classifyLine(std::string_view line, DeviceTable& table) {
    for (const KeyField& entry : kKeys) {
        if (!line.starts_with(entry.key))
            continue;
        const std::string value(line.substr(entry.key.size()));
        if (entry.field == &DeviceModel::model) {
            table.emplace_back();
            table.back().model = value;
        } else if (!table.empty()) {
            table.back().*entry.field = value;
        }
        return;
    }
}

} // namespace

DeviceTable parseDeviceTable(std::string_view text) {
    DeviceTable table;
    forEachLine(text, [&table](std::string_view line) {
        classifyLine(line, table);
        return true;
    });
    return table;
}

std::optional<DeviceTable> LoadDeviceTable(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return parseDeviceTable(content.str());
}

} // namespace tessaline
