// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/source_line.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// The keys of a record, in the order in which a line is matched against them.
enum class DeviceKey {
    Model,
    Flash,
    Eeprom,
    ConfigErased,
    VoltageSeq,
    ProgTime,
    Erase,
    Program,
    Read,
    BlankCheck,
    Verify,
    DeviceId,
    ConfigMask,
    Protect,
    Setting,
    Option,
};
inline constexpr std::size_t kDeviceKeyCount = 16;

// "model:" .. "verify:" for a key.
std::string_view deviceKeyText(DeviceKey key);

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
    // Optional: the device ID with its mask, the implemented bits of the configuration
    // bytes, and which configuration bit code-protects which addresses.
    std::string deviceid;
    std::string configmask;
    std::string protect;
    // Optional: the named configuration settings, as "setting:" lines each followed by the
    // "option:" lines of its options. A record may hold many of both, so they are kept in
    // file order with their line numbers.
    struct ListedLine {
        DeviceKey key = DeviceKey::Setting;
        std::int32_t line = 0;
        std::string value;
    };
    std::vector<ListedLine> settingLines;

    // The file the record was read from (empty for a text without a name) and the line
    // of each key's value, 0 for a key the record does not have (the first line of a key
    // that a record may hold many times).
    std::string file;
    std::array<std::int32_t, kDeviceKeyCount> lines{};

    // Where the key's value stands; a missing key points at the record's "model:" line.
    SourceLine sourceOf(DeviceKey key) const;
};

// Records in file order; the program numbers them from 1.
using DeviceTable = std::vector<DeviceModel>;

// Builds the table from the whole text of a device file. Lines end at CR LF, a lone CR
// or a lone LF; a line counts by the first key it starts with, exactly and in the first
// column; key lines before the first "model:" line are dropped. Every record names the
// given file and keeps the line number of each key.
DeviceTable parseDeviceTable(std::string_view text, const std::string& fileName = {});

// Reads and parses the file line by line; nothing when it cannot be read (then reason, when
// given, says why: the system's reason, not a regular file, or too large).
std::optional<DeviceTable> LoadDeviceTable(const std::string& path, std::string* reason = nullptr);

} // namespace tessaline
