// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt_dialogs.hpp"

#include "ui/config_bits_dialog.hpp"
#include "ui/unit_dialog.hpp"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFontDatabase>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>

namespace tessaline {

QString qtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.contains(QLatin1Char('(')))
            entries << description;
        else
            entries << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return entries.join(QStringLiteral(";;"));
}

QString displayText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

namespace {

// Texts laid out in columns with TAB characters (the model list, the pinout) keep their
// columns in a fixed-pitch font with tab stops every eight characters.
QString expandTabs(const QString& text) {
    QString out;
    int column = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('\t')) {
            const int spaces = 8 - column % 8;
            out += QString(spaces, QLatin1Char(' '));
            column += spaces;
        } else {
            out += c;
            column = c == QLatin1Char('\n') ? 0 : column + 1;
        }
    }
    return out;
}

void useFixedPitchForColumns(QLabel* label, const QString& text) {
    if (!text.contains(QLatin1Char('\t')))
        return;
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    label->setText(expandTabs(text));
}

QString nativeFolder(const std::string& folder) {
    return QDir::fromNativeSeparators(QString::fromStdString(folder));
}

// Icons and type names from a file's name and kind alone. The stock provider asks the MIME
// database, which reads the first bytes of every file it is shown: a FIFO, or a file of
// /proc such as kmsg, then blocks the window for good.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;

    QIcon icon(const QFileInfo& info) const override {
        if (info.isDir())
            return icon(Folder);
        const QIcon themed = QIcon::fromTheme(mimeType(info).iconName());
        return themed.isNull() ? icon(File) : themed;
    }

    QString type(const QFileInfo& info) const override {
        if (info.isDir())
            return QFileIconProvider::type(info);
        const QMimeType mime = mimeType(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType mimeType(const QFileInfo& info) const {
        return m_mimeTypes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }

    QMimeDatabase m_mimeTypes;
};

// Qt's own file dialog, so that the icon provider above is the one in use. The provider
// is set before the folder, whose files are then looked at.
QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const std::string& title,
                      const std::string& filter, const std::string& folder) {
    NameOnlyIconProvider provider;
    QFileDialog dialog(parent, QString::fromStdString(title));
    QFileDialog::Options options =
        QFileDialog::DontUseNativeDialog | QFileDialog::DontUseCustomDirectoryIcons;
    // The program asks its own overwrite question, after the dialog.
    if (mode == QFileDialog::AcceptSave)
        options |= QFileDialog::DontConfirmOverwrite;
    dialog.setOptions(options);
    dialog.setIconProvider(&provider);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(qtFileFilter(filter).split(QStringLiteral(";;")));
    dialog.setDirectory(nativeFolder(folder));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QtDialogs::QtDialogs(QString title, QWidget* parent)
    : m_title(std::move(title)), m_parent(parent) {}

void QtDialogs::message(const std::string& text, Icon icon) {
    const QString body = displayText(text);
    QMessageBox box(m_parent);
    box.setWindowTitle(m_title);
    box.setText(body);
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Critical  ? QMessageBox::Critical
                                          : QMessageBox::NoIcon);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        useFixedPitchForColumns(label, body);
    box.exec();
}

bool QtDialogs::askYesNo(const std::string& text) {
    QMessageBox box(m_parent);
    box.setWindowTitle(m_title);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::askYesNoLater(const std::string& text, std::function<void(bool)> answered) {
    auto* box = new QMessageBox(m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(m_title);
    box->setText(displayText(text));
    box->setTextFormat(Qt::PlainText);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    QObject::connect(box, &QMessageBox::finished, [answered = std::move(answered)](int result) {
        if (answered)
            answered(result == QMessageBox::Yes);
    });
    box->open();
}

std::string QtDialogs::inputBox(const std::string& prompt, const std::string& proposed) {
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(m_title);
    const QString body = displayText(prompt);
    dialog.setLabelText(body);
    dialog.setTextValue(QString::fromStdString(proposed));
    if (auto* label = dialog.findChild<QLabel*>())
        useFixedPitchForColumns(label, body);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue().toStdString();
}

std::string QtDialogs::openFileName(const std::string& title, const std::string& filter,
                                    const std::string& folder) {
    const QString chosen = runFileDialog(m_parent, QFileDialog::AcceptOpen, title, filter, folder);
    return QDir::toNativeSeparators(chosen).toStdString();
}

std::string QtDialogs::saveFileName(const std::string& title, const std::string& filter,
                                    const std::string& folder) {
    const QString chosen = runFileDialog(m_parent, QFileDialog::AcceptSave, title, filter, folder);
    return QDir::toNativeSeparators(chosen).toStdString();
}

std::optional<ConfigValues> QtDialogs::configurationBits(const std::string& model,
                                                         const ConfigSettings& settings,
                                                         const ConfigValues& config) {
    ConfigBitsDialog dialog(m_title, model, settings, config, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.values();
}

std::optional<ProgrammerUnitChoice>
QtDialogs::programmerUnit(const std::string& port, const ProgrammerUnitChoice& current,
                          const std::function<UnitDetection()>& detect) {
    ProgrammerUnitDialog dialog(m_title, port, current, detect, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

} // namespace tessaline
