// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "options/option_rules.hpp"

#include <QString>

#include <optional>
#include <string>

namespace tessaline {

// The per-user store of the four remembered settings, as named text values. Every call
// opens the store and writes through at once; no call ever reports a failure.
class SettingsStore {
public:
    // A store in an INI file at the given path (tests use a temporary one).
    explicit SettingsStore(QString iniFile);

    // The user's store: HKEY_CURRENT_USER\Software\Tessaline on Windows, elsewhere
    // Tessaline/Tessaline.ini in the per-user configuration folder.
    static SettingsStore userStore();

    // The stored text, or the default when the value is missing or longer than 254
    // characters; in that case the default is stored too.
    std::string ReadSetting(const std::string& name, const std::string& defaultValue) const;
    void WriteSetting(const std::string& name, const std::string& value) const;
    // The stored text, or nothing when it is missing or too long; stores nothing, for
    // readers such as the command-line tool that must leave the store as it is.
    std::optional<std::string> storedSetting(const std::string& name) const;

    // The folder that holds the store's file (empty for the Windows registry).
    QString folder() const;

private:
    SettingsStore(QString location, bool native);

    QString m_location;
    bool m_native = false;
};

} // namespace tessaline
