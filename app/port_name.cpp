// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/port_name.hpp"

#include <QDir>
#include <QFileInfo>

namespace tessaline {

QString serialDeviceForPort(int portNumber, const QString& settingsFolder) {
#ifdef Q_OS_WIN
    Q_UNUSED(settingsFolder);
    return QStringLiteral("COM%1").arg(portNumber);
#else
    if (!settingsFolder.isEmpty()) {
        QString link = QDir(settingsFolder).filePath(QStringLiteral("com%1").arg(portNumber));
        if (QFileInfo(link).isSymLink() || QFileInfo::exists(link))
            return link;
    }
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

QString serialPortLocation(const QString& name) {
#ifdef Q_OS_UNIX
    if (!name.startsWith(QLatin1Char('/')) && !name.startsWith(QLatin1String("./")) &&
        !name.startsWith(QLatin1String("../")))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}

std::string portSettingDevice(const QString& name) {
    const QString location = serialPortLocation(name);
    const QString resolved = QFileInfo(location).canonicalFilePath();
    return (resolved.isEmpty() ? location : resolved).toStdString();
}

} // namespace tessaline
