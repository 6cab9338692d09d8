// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/serial_settings.hpp"

#include "buffer/text_rules.hpp"
#include "options/option_rules.hpp"

#include <QStringList>

namespace tessaline {

bool parseSerialSettings(const std::string& text, SerialSettings& out) {
    const QStringList fields = QString::fromStdString(text).split(QLatin1Char(','));
    if (fields.size() != 4)
        return false;
    bool isNumber = false;
    const double baud = fields[0].toDouble(&isNumber);
    // Written so that "nan" fails too.
    if (!isNumber || !(baud >= 1 && baud <= 4000000))
        return false;
    SerialSettings parsed;
    parsed.baud = roundHalfEven(baud);
    const QString parity = fields[1].toLower();
    if (parity == QLatin1String("n"))
        parsed.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        parsed.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        parsed.parity = QSerialPort::OddParity;
    else
        return false;
    const int bits = fields[2].toInt(&isNumber);
    if (!isNumber || bits < 5 || bits > 8)
        return false;
    parsed.dataBits = static_cast<QSerialPort::DataBits>(bits);
    if (fields[3] == QLatin1String("1"))
        parsed.stopBits = QSerialPort::OneStop;
    else if (fields[3] == QLatin1String("2"))
        parsed.stopBits = QSerialPort::TwoStop;
    else
        return false;
    out = parsed;
    return true;
}

std::optional<SerialSettings> serialSettingsForBaud(const std::string& baudRate) {
    SerialSettings settings;
    if (!parseSerialSettings(serialSettingsText(baudRate), settings))
        return std::nullopt;
    return settings;
}

} // namespace tessaline
