// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_folder.hpp"

#include <QCoreApplication>
#include <QDir>

namespace tessaline {

QString programFolderFrom(const QString& folder) {
    QString result = QDir::toNativeSeparators(folder);
    if (!result.endsWith(QDir::separator()))
        result += QDir::separator();
#ifdef Q_OS_WIN
    result = result.toLower();
#endif
    return result;
}

QString ProgramFolder() {
    return programFolderFrom(QCoreApplication::applicationDirPath());
}

} // namespace tessaline
