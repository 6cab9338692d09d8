// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_file.hpp"

#include <filesystem>

namespace tessaline {

namespace {

constexpr const char* kDeviceFileName = "devices.cfg";

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

DeviceFile readDeviceFile(const std::string& path) {
    DeviceFile result;
    result.path = path;
    std::string reason;
    std::optional<DeviceTable> table = LoadDeviceTable(path, &reason);
    if (!table) {
        result.status = DeviceFile::Status::Unreadable;
        result.reason = std::move(reason);
    } else if (table->empty()) {
        result.status = DeviceFile::Status::NoModel;
    } else {
        result.status = DeviceFile::Status::Loaded;
        result.table = std::move(*table);
    }
    return result;
}

DeviceFile findDeviceFile(const std::string& programFolder) {
    const std::filesystem::path folder(programFolder);
    const std::string beside = (folder / kDeviceFileName).string();
    const std::string shared =
        (folder / ".." / "share" / "tessaline" / kDeviceFileName).lexically_normal().string();
    if (exists(beside))
        return readDeviceFile(beside);
    if (exists(shared))
        return readDeviceFile(shared);
    DeviceFile missing;
    missing.path = beside;
    missing.sharedPath = shared;
    return missing;
}

} // namespace tessaline
