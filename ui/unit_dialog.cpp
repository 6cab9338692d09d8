// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/unit_dialog.hpp"

#include "ui/qt_dialogs.hpp"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaline {

ProgrammerUnitDialog::ProgrammerUnitDialog(const QString& title, const std::string& port,
                                           const ProgrammerUnitChoice& current,
                                           std::function<UnitDetection()> detect, QWidget* parent)
    : QDialog(parent), m_detect(std::move(detect)) {
    setWindowTitle(title + QStringLiteral(" - Programmer Unit"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Serial port:"), new QLabel(QString::fromStdString(port), this));

    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("unitType"));
    m_type->addItem(QStringLiteral("Original (any unit; replies are not examined)"),
                    static_cast<int>(CommandSet::Original));
    m_type->addItem(QStringLiteral("Reference (this program's firmware; its status is read)"),
                    static_cast<int>(CommandSet::Reference));
    m_type->setCurrentIndex(current.type == CommandSet::Reference ? 1 : 0);
    form->addRow(QStringLiteral("Unit type:"), m_type);

    m_detectButton = new QPushButton(QStringLiteral("&Detect"), this);
    m_detectButton->setObjectName(QStringLiteral("detect"));
    m_detectButton->setToolTip(
        QStringLiteral("Ask the unit, powered down and in legal commands only, which it is"));
    m_detected = new QLabel(this);
    m_detected->setObjectName(QStringLiteral("detected"));
    m_detected->setTextFormat(Qt::PlainText);
    m_detected->setWordWrap(true);
    auto* detectRow = new QHBoxLayout;
    detectRow->addWidget(m_detectButton);
    detectRow->addWidget(m_detected, 1);
    form->addRow(QString(), detectRow);

    m_fastBaud = new QComboBox(this);
    m_fastBaud->setObjectName(QStringLiteral("fastBaud"));
    m_fastBaud->setToolTip(QStringLiteral(
        "A reference unit takes packets of commands at this rate; Off: one command a reply"));
    m_fastBaud->addItem(QStringLiteral("1,000,000 baud"), 1000000);
    m_fastBaud->addItem(QStringLiteral("500,000 baud (adapters that cannot do 1 M)"), 500000);
    m_fastBaud->addItem(QStringLiteral("Off (one command a reply)"), 0);
    int fastIndex = m_fastBaud->findData(current.fastBaud);
    if (fastIndex < 0) {
        m_fastBaud->addItem(QString::number(current.fastBaud) + QStringLiteral(" baud"),
                            current.fastBaud);
        fastIndex = m_fastBaud->count() - 1;
    }
    m_fastBaud->setCurrentIndex(fastIndex);
    form->addRow(QStringLiteral("Fast mode:"), m_fastBaud);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_detectButton, &QPushButton::clicked, this, &ProgrammerUnitDialog::detectClicked);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(m_buttons);
    setMinimumWidth(420);
}

ProgrammerUnitChoice ProgrammerUnitDialog::choice() const {
    return {static_cast<CommandSet>(m_type->currentData().toInt()),
            m_fastBaud->currentData().toInt()};
}

void ProgrammerUnitDialog::reject() {
    if (!m_detecting)
        QDialog::reject();
}

void ProgrammerUnitDialog::setDetecting(bool detecting) {
    m_detecting = detecting;
    m_type->setEnabled(!detecting);
    m_fastBaud->setEnabled(!detecting);
    m_detectButton->setEnabled(!detecting);
    m_buttons->setEnabled(!detecting);
}

// The probe runs while the dialog stays open; nothing in it can be changed meanwhile.
void ProgrammerUnitDialog::detectClicked() {
    if (!m_detect)
        return;
    setDetecting(true);
    m_detected->setText(QStringLiteral("Asking the unit\u2026"));
    const UnitDetection found = m_detect();
    m_detected->setText(displayText(found.text));
    if (found.type)
        m_type->setCurrentIndex(*found.type == CommandSet::Reference ? 1 : 0);
    setDetecting(false);
}

} // namespace tessaline
