#include "ui/qt_dialogs.hpp"

#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

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
    const QString chosen = QFileDialog::getOpenFileName(m_parent, QString::fromStdString(title),
                                                        nativeFolder(folder), qtFileFilter(filter));
    return QDir::toNativeSeparators(chosen).toStdString();
}

std::string QtDialogs::saveFileName(const std::string& title, const std::string& filter,
                                    const std::string& folder) {
    // The program asks its own overwrite question, after the dialog.
    const QString chosen = QFileDialog::getSaveFileName(m_parent, QString::fromStdString(title),
                                                        nativeFolder(folder), qtFileFilter(filter),
                                                        nullptr, QFileDialog::DontConfirmOverwrite);
    return QDir::toNativeSeparators(chosen).toStdString();
}

} // namespace tessaline
