// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tessaline {

// The folder in native separators with one trailing separator. Lower-cased on Windows
// only: elsewhere the file system tells letter cases apart and a lower-cased folder
// might not exist.
QString programFolderFrom(const QString& folder);

// programFolderFrom of the running executable's folder.
QString ProgramFolder();

} // namespace tessaline
