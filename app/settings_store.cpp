// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_store.hpp"

#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace tessaline {

namespace {

// A value is readable back only when it has at most this many characters.
constexpr qsizetype kMaxStoredLength = 254;

} // namespace

SettingsStore::SettingsStore(QString iniFile) : SettingsStore(std::move(iniFile), false) {}

SettingsStore::SettingsStore(QString location, bool native)
    : m_location(std::move(location)), m_native(native) {}

SettingsStore SettingsStore::userStore() {
#ifdef Q_OS_WIN
    return SettingsStore(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tessaline"), true);
#else
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessaline"),
                          QStringLiteral("Tessaline"));
    return {probe.fileName(), false};
#endif
}

static std::unique_ptr<QSettings> openStore(const QString& location, bool native) {
    return std::make_unique<QSettings>(location,
                                       native ? QSettings::NativeFormat : QSettings::IniFormat);
}

std::optional<std::string> SettingsStore::storedSetting(const std::string& name) const {
    auto store = openStore(m_location, m_native);
    const QVariant stored = store->value(QString::fromStdString(name));
    if (!stored.isValid())
        return std::nullopt;
    const QString text = stored.toString();
    if (text.size() > kMaxStoredLength)
        return std::nullopt;
    return text.toStdString();
}

std::string SettingsStore::ReadSetting(const std::string& name,
                                       const std::string& defaultValue) const {
    if (std::optional<std::string> stored = storedSetting(name))
        return std::move(*stored);
    auto store = openStore(m_location, m_native);
    const QString key = QString::fromStdString(name);
    store->setValue(key, QString::fromStdString(defaultValue));
    store->sync();
    return defaultValue;
}

void SettingsStore::WriteSetting(const std::string& name, const std::string& value) const {
    auto store = openStore(m_location, m_native);
    store->setValue(QString::fromStdString(name), QString::fromStdString(value));
    store->sync();
}

QString SettingsStore::folder() const {
    if (m_native)
        return {};
    return QFileInfo(m_location).absolutePath();
}

} // namespace tessaline
