// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSerialPort>

#include <optional>
#include <string>

namespace tessaline {

// How the serial port talks to the unit: its rate and its character frame.
struct SerialSettings {
    qint32 baud = 56000;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    bool operator==(const SerialSettings&) const = default;
};

// Reads "baud,parity,data,stop" as the serial settings text gives it ("56000,n,8,1"); a
// rate may have a fraction, which is rounded half to even.
bool parseSerialSettings(const std::string& text, SerialSettings& out);

// The settings for a baud rate as the settings store and the dialogs keep it (decimal
// text): no parity, 8 data bits, 1 stop bit; nothing when the rate is not one.
std::optional<SerialSettings> serialSettingsForBaud(const std::string& baudRate);

} // namespace tessaline
