#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// One record of devices.cfg: every field exactly as written in the file, empty when its
// key does not occur in the record.
struct DeviceModel {
    std::string model;
    std::string flash;
    std::string eeprom;
    std::string configerased;
    std::string voltageseq;
    std::string progtime;
    std::string erase;
    std::string program;
    std::string read;
    std::string blankcheck;
    std::string verify;
};

// Records in file order; the program numbers them from 1.
using DeviceTable = std::vector<DeviceModel>;

// Builds the table from the whole text of a device file. Lines end at CR LF, a lone CR
// or a lone LF; a line counts by the first key it starts with, exactly and in the first
// column; key lines before the first "model:" line are dropped.
DeviceTable parseDeviceTable(std::string_view text);

// Reads and parses the file; nothing when it cannot be opened or read.
std::optional<DeviceTable> LoadDeviceTable(const std::string& path);

} // namespace tessaline
