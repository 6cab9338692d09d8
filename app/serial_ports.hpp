// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace tessaline {

// A serial port the system has, with what it says about itself (empty when it says
// nothing): the adapter's description and maker, its USB vendor and product ID, its
// serial number.
struct SerialPortEntry {
    std::string device;
    std::string description;
    std::string manufacturer;
    std::string usbId; // "0403:6001"
    std::string serialNumber;
};

std::vector<SerialPortEntry> systemSerialPorts();

// A port number of the window's port dialog (1 to 8) and the device it opens.
struct PortNumberEntry {
    int number = 0;
    std::string device;
    // The comN link in the settings folder that leads there, or empty.
    std::string link;
    // The link leads to nothing (an adapter not plugged in).
    bool missing = false;
};

// The port numbers that lead somewhere: through a comN link in the settings folder, or
// to /dev/ttyS(N-1) (COMN on Windows) when the system has that port.
std::vector<PortNumberEntry> portNumberMap(const QString& settingsFolder,
                                           const std::vector<SerialPortEntry>& ports);

// One line per port: "/dev/ttyUSB0: FT232R USB UART; manufacturer FTDI; USB ID 0403:6001;
// serial number A50285BI", the parts that the port does not tell left out.
std::string portListText(const std::vector<SerialPortEntry>& ports);

// One line per port number: "port 2 = /dev/ttyUSB0 (link /home/u/.config/Tessaline/com2)",
// with ": missing" after a link that leads to nothing.
std::string portMapText(const std::vector<PortNumberEntry>& map);

} // namespace tessaline
