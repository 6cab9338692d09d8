// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/serial_ports.hpp"

#include "app/port_name.hpp"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace tessaline {

namespace {

constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 8;

std::string hex4(quint16 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toStdString();
}

} // namespace

std::vector<SerialPortEntry> systemSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry;
        entry.device = info.systemLocation().toStdString();
        entry.description = info.description().toStdString();
        entry.manufacturer = info.manufacturer().toStdString();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            entry.usbId = hex4(info.vendorIdentifier()) + ':' + hex4(info.productIdentifier());
        entry.serialNumber = info.serialNumber().toStdString();
        ports.push_back(std::move(entry));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return a.device < b.device;
    });
    return ports;
}

std::vector<PortNumberEntry> portNumberMap(const QString& settingsFolder,
                                           const std::vector<SerialPortEntry>& ports) {
    std::vector<PortNumberEntry> map;
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        const QString opened = serialDeviceForPort(number, settingsFolder);
        const QFileInfo info(opened);
        if (info.isSymLink()) {
            map.push_back(
                {number, info.symLinkTarget().toStdString(), opened.toStdString(), !info.exists()});
            continue;
        }
        const std::string device = opened.toStdString();
        const bool present =
            std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry& port) {
                return port.device == device ||
                       QFileInfo(QString::fromStdString(port.device)).fileName().toStdString() ==
                           device;
            });
        // A comN that is an ordinary file is still where the number leads.
        if (present || info.isFile())
            map.push_back({number, device, {}, false});
    }
    return map;
}

std::string portListText(const std::vector<SerialPortEntry>& ports) {
    std::string text;
    for (const SerialPortEntry& port : ports) {
        std::vector<std::string> parts;
        if (!port.description.empty())
            parts.push_back(port.description);
        if (!port.manufacturer.empty())
            parts.push_back("manufacturer " + port.manufacturer);
        if (!port.usbId.empty())
            parts.push_back("USB ID " + port.usbId);
        if (!port.serialNumber.empty())
            parts.push_back("serial number " + port.serialNumber);
        text += port.device;
        for (std::size_t i = 0; i < parts.size(); ++i)
            text += (i == 0 ? ": " : "; ") + parts[i];
        text += '\n';
    }
    return text;
}

std::string portMapText(const std::vector<PortNumberEntry>& map) {
    std::string text;
    for (const PortNumberEntry& entry : map) {
        text += "port " + std::to_string(entry.number) + " = " + entry.device;
        if (!entry.link.empty())
            text += " (link " + entry.link + ")";
        if (entry.missing)
            text += ": missing";
        text += '\n';
    }
    return text;
}

} // namespace tessaline
