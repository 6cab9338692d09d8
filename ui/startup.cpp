// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/startup.hpp"

#include "app/device_file.hpp"
#include "ui/dialogs.hpp"

#include <QDir>
#include <QFileInfo>

namespace tessaline {

std::optional<DeviceTable> loadDeviceTableForWindow(const std::string& programFolder,
                                                    Dialogs& dialogs) {
    DeviceFile file = findDeviceFile(programFolder);
    std::string problem;
    switch (file.status) {
    case DeviceFile::Status::Loaded:
        return std::move(file.table);
    case DeviceFile::Status::Missing:
        problem =
            "The device file cannot be found at " + file.path + " or at " + file.sharedPath + ".";
        break;
    case DeviceFile::Status::Unreadable:
        problem = "The device file " + file.path + " cannot be opened: " + file.reason + ".";
        break;
    case DeviceFile::Status::NoModel:
        problem = "The device file " + file.path + " describes no microcontroller model.";
        break;
    }
    dialogs.message(problem + "\r\nThe program must end.", Dialogs::Icon::Critical);
    return std::nullopt;
}

QString fileArgument(const QStringList& arguments) {
    if (arguments.size() != 2 || arguments[1].isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(arguments[1]).absoluteFilePath());
}

} // namespace tessaline
