// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/config_bits_dialog.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaline {

namespace {

// Item data of a drop-down entry that keeps bits no option names.
constexpr int kKeepBits = -1;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString byteText(std::int32_t value) {
    return value < 0 ? QStringLiteral("--") : text(Hex2(value) + "h");
}

} // namespace

ConfigBitsDialog::ConfigBitsDialog(const QString& title, const std::string& model,
                                   const ConfigSettings& settings, const ConfigValues& config,
                                   QWidget* parent)
    : QDialog(parent), m_config(config) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        tr("Configuration bits of the %1, by the names of the toolchains' CONFIG directive:")
            .arg(text(model)),
        this));

    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* groups = new QWidget(area);
    auto* groupsLayout = new QVBoxLayout(groups);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // The names take one width in every group, so that the drop-downs line up.
    int nameWidth = 0;
    for (const ConfigSetting& setting : settings.settings)
        nameWidth = std::max(nameWidth, fontMetrics().horizontalAdvance(text(setting.name)));
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k) {
        const std::vector<const ConfigSetting*> ofByte = settings.ofByte(k);
        if (ofByte.empty())
            continue;
        const QString name =
            QStringLiteral("CONFIG") + text(std::string(kConfigBytes[k].gridCaption));
        auto* group = new QGroupBox(
            QStringLiteral("%1  %2h").arg(name, text(Hex6(kConfigBytes[k].address))), groups);
        group->setObjectName(name);
        auto* grid = new QGridLayout(group);
        grid->setColumnStretch(1, 1);
        grid->setColumnMinimumWidth(0, nameWidth + 8);
        int row = 0;
        for (const ConfigSetting* setting : ofByte) {
            auto* label = new QLabel(text(setting->name), group);
            label->setToolTip(text(setting->title));
            auto* options = new QComboBox(group);
            options->setObjectName(text(setting->name));
            options->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            options->setMinimumContentsLength(36);
            const ConfigOption* current = setting->optionOf(config[k]);
            if (!current)
                options->addItem(text(setting->choiceText(config[k])), kKeepBits);
            for (std::size_t i = 0; i < setting->options.size(); ++i) {
                const ConfigOption& option = setting->options[i];
                options->addItem(option.explanation.empty()
                                     ? text(option.name)
                                     : text(option.name + " - " + option.explanation),
                                 static_cast<int>(i));
                options->setItemData(options->count() - 1, text(option.explanation),
                                     Qt::ToolTipRole);
                if (&option == current)
                    options->setCurrentIndex(options->count() - 1);
            }
            // The list opens wide enough for the longest explanation.
            options->view()->setMinimumWidth(options->view()->sizeHintForColumn(0) + 24);
            label->setBuddy(options);
            auto* value = new QLabel(group);
            value->setObjectName(QStringLiteral("value_") + text(setting->name));
            value->setFont(fixed);
            value->setToolTip(tr("%1, bits %2h of it for %3")
                                  .arg(name, text(Hex2(setting->mask)), text(setting->name)));
            grid->addWidget(label, row, 0);
            grid->addWidget(options, row, 1);
            grid->addWidget(value, row, 2);
            ++row;
            m_rows.push_back({setting, options, value});
            connect(options, &QComboBox::currentIndexChanged, this, &ConfigBitsDialog::showValues);
        }
        groupsLayout->addWidget(group);
    }
    groupsLayout->addStretch();
    area->setWidget(groups);
    layout->addWidget(area, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    showValues();
    resize(std::max(groups->sizeHint().width() + 40, 640), 600);
}

ConfigValues ConfigBitsDialog::values() const {
    ConfigValues values = m_config;
    for (const Row& row : m_rows) {
        const int chosen = row.options->currentData().toInt();
        if (chosen != kKeepBits)
            applyOption(values, *row.setting,
                        row.setting->options[static_cast<std::size_t>(chosen)]);
    }
    return values;
}

void ConfigBitsDialog::showValues() {
    const ConfigValues now = values();
    for (const Row& row : m_rows)
        row.value->setText(byteText(now[row.setting->configIndex]));
}

} // namespace tessaline
