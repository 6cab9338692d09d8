// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_commands.hpp"

#include "app/hex_file_io.hpp"
#include "app/settings_store.hpp"
#include "texts/line_ends.hpp"
#include "ui/dialogs.hpp"
#include "ui/operations.hpp"
#include "ui/window_view.hpp"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

namespace tessaline {

namespace {

constexpr const char* kHexFilter = "Intel HEX files (*.hex)|*.hex|All files (*.*)|*.*";

// Splits a chosen file at its last separator: the folder with its trailing separator,
// and the file name.
std::pair<std::string, std::string> splitChosenPath(const std::string& chosen) {
#ifdef Q_OS_WIN
    const std::size_t cut = chosen.find_last_of("\\/");
#else
    const std::size_t cut = chosen.find_last_of('/');
#endif
    if (cut == std::string::npos)
        return {std::string(), chosen};
    return {chosen.substr(0, cut + 1), chosen.substr(cut + 1)};
}

// File systems of the system's own state: reading some of their files blocks (/proc/kmsg)
// or never ends.
bool onSystemFileSystem(const QString& folder) {
    static const QSet<QByteArray> kSystemTypes{
        "proc",       "sysfs",   "devtmpfs", "devpts",    "debugfs",    "tracefs",
        "securityfs", "cgroup",  "cgroup2",  "configfs",  "pstore",     "efivarfs",
        "bpf",        "fusectl", "mqueue",   "hugetlbfs", "binfmt_misc"};
    return kSystemTypes.contains(QStorageInfo(folder).fileSystemType());
}

// The folder a file dialog starts in: the remembered one when it is an ordinary folder
// that exists, else the home folder.
std::string dialogFolder(const std::string& lastPath) {
    const QString folder = QString::fromStdString(lastPath);
    if (!folder.isEmpty() && QFileInfo(folder).isDir() && !onSystemFileSystem(folder))
        return lastPath;
    return QDir::toNativeSeparators(QDir::homePath() + QLatin1Char('/')).toStdString();
}

// The reader's fault, or why the file could not be read.
std::string failureMessage(const std::string& path, const HexLoadOutcome& outcome) {
    if (outcome.status == HexLoadOutcome::Status::Faulty)
        return crlfLines(outcome.message);
    return "The file " + path + " cannot be opened: " + outcome.message + ".";
}

} // namespace

FileCommands::FileCommands(ProgrammerState& state, SettingsStore& settings, Dialogs& dialogs,
                           WindowView& window, const WindowOperations& operations)
    : m_state(state), m_settings(settings), m_dialogs(dialogs), m_window(window),
      m_operations(operations) {}

void FileCommands::menuclear_Click() {
    m_window.disable();
    m_state.resetBuffer();
    m_window.updatedisplay();
    m_window.setLoadedFile("");
    m_window.setStatus("");
    m_window.enable();
}

void FileCommands::menuopen_Click() {
    const std::string chosen = m_dialogs.openFileName("Select HEX File To Open", kHexFilter,
                                                      dialogFolder(m_state.app.LastPath));
    if (chosen.empty())
        return;
    openHexFile(chosen);
}

void FileCommands::openHexFile(const std::string& chosen) {
    auto [folder, name] = splitChosenPath(chosen);
    m_state.app.LastPath = folder;
    m_settings.WriteSetting(kSettingLastPath, m_state.app.LastPath);
    LoadHexFile(name);
}

void FileCommands::openDroppedFile(const std::string& path) {
    // A trial load into a scratch buffer of the same model tells whether the file is one.
    ProgrammerState trial;
    trial.model = m_state.model;
    const HexLoadOutcome outcome = loadHexFile(path, trial);
    if (outcome.status != HexLoadOutcome::Status::Loaded) {
        m_dialogs.message(failureMessage(path, outcome));
        return;
    }
    openHexFile(path);
}

void FileCommands::LoadHexFile(const std::string& fileName) {
    m_window.disable();
    m_window.setStatus("");
    const std::string path = m_state.app.LastPath + fileName;
    const HexLoadOutcome outcome = loadHexFile(path, m_state);
    if (outcome.status == HexLoadOutcome::Status::Loaded) {
        m_window.updatedisplay();
        m_window.setLoadedFile(fileName);
        m_dialogs.message(crlfLines(outcome.message));
    } else {
        // The buffer is already back in its erased state.
        m_dialogs.message(failureMessage(path, outcome));
        m_window.updatedisplay();
        m_window.setLoadedFile("");
    }
    m_window.enable();
}

void FileCommands::reload_Click() {
    // A reload while an operation runs would change the buffer under Program All or Verify.
    if (m_operations.running())
        return;
    const std::string fileName = m_window.loadedFile();
    if (fileName.empty())
        return;
    LoadHexFile(fileName);
}

void FileCommands::menusave_Click() {
    const std::string chosen =
        m_dialogs.saveFileName("Save Buffer As", kHexFilter, dialogFolder(m_state.app.LastPath));
    if (chosen.empty())
        return;
    auto [folder, name] = splitChosenPath(chosen);
    const std::string path = folder + name;
    // The folder is remembered unless the save fails there: a folder that takes no file
    // (/proc, a read-only mount) is no place to offer again.
    const auto rememberFolder = [this, folder = folder] {
        m_state.app.LastPath = folder;
        m_settings.WriteSetting(kSettingLastPath, m_state.app.LastPath);
    };
    if (QFileInfo::exists(QString::fromStdString(path)) &&
        !m_dialogs.askYesNo("Do you want to overwrite file " + path + "?")) {
        rememberFolder();
        return;
    }
    m_window.disable();
    const std::string previousName = m_window.loadedFile();
    m_window.setLoadedFile(name);
    const HexSaveOutcome outcome = saveHexFile(path, m_state.buffer);
    if (outcome.saved) {
        rememberFolder();
    } else {
        m_window.setLoadedFile(previousName);
        m_dialogs.message("The file " + path + " could not be written: " + outcome.error + ".");
    }
    m_window.enable();
}

} // namespace tessaline
