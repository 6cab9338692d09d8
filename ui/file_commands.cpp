// File menu commands of the main window: open, reload and save a HEX file.
#include "ui/main_window.hpp"

#include "app/hex_file_io.hpp"
#include "app/settings_store.hpp"
#include "ui/clickable_label.hpp"
#include "ui/dialogs.hpp"

#include <QDir>
#include <QFileInfo>

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

} // namespace

void Form1::menuopen_Click() {
    const std::string chosen =
        m_dialogs.openFileName("Select HEX File To Open", kHexFilter, m_state.app.LastPath);
    if (chosen.empty())
        return;
    auto [folder, name] = splitChosenPath(chosen);
    m_state.app.LastPath = folder;
    m_settings.WriteSetting(kSettingLastPath, m_state.app.LastPath);
    LoadHexFile(name);
}

void Form1::LoadHexFile(const std::string& fileName) {
    disable();
    setStatus("");
    const std::string path = m_state.app.LastPath + fileName;
    const HexLoadOutcome outcome = loadHexFile(path, m_state);
    if (outcome.status == HexLoadOutcome::Status::Loaded) {
        updatedisplay();
        label_hex->setText(QString::fromStdString(fileName));
        m_dialogs.message(outcome.message);
    } else {
        // The buffer is already back in its erased state.
        m_dialogs.message(outcome.status == HexLoadOutcome::Status::Faulty
                              ? outcome.message
                              : "The file " + path + " cannot be opened: " + outcome.message + ".");
        updatedisplay();
        label_hex->clear();
    }
    enable();
}

void Form1::reload_Click() {
    // A reload while an operation runs would change the buffer under Program All or Verify.
    if (control.running())
        return;
    const std::string fileName = label_hex->text().toStdString();
    if (fileName.empty())
        return;
    LoadHexFile(fileName);
}

void Form1::menusave_Click() {
    const std::string chosen =
        m_dialogs.saveFileName("Save Buffer As", kHexFilter, m_state.app.LastPath);
    if (chosen.empty())
        return;
    auto [folder, name] = splitChosenPath(chosen);
    m_state.app.LastPath = folder;
    m_settings.WriteSetting(kSettingLastPath, m_state.app.LastPath);
    const std::string path = m_state.app.LastPath + name;
    if (QFileInfo::exists(QString::fromStdString(path)) &&
        !m_dialogs.askYesNo("Do you want to overwrite file " + path + "?"))
        return;
    disable();
    const QString previousName = label_hex->text();
    label_hex->setText(QString::fromStdString(name));
    const HexSaveOutcome outcome = saveHexFile(path, m_state.buffer);
    if (!outcome.saved) {
        label_hex->setText(previousName);
        m_dialogs.message("The file " + path + " could not be written: " + outcome.error + ".");
    }
    enable();
}

} // namespace tessaline
