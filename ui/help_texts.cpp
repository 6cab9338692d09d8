// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help_texts.hpp"

#include "tessaline_version.hpp"

namespace tessaline {

std::string pinoutText() {
    static const char* const kRows[][3] = {
        {"Pin", "Signal", "Direction"}, {"1", "DCD", "Input"},  {"2", "RD", "Input"},
        {"3", "TD", "Output"},          {"4", "DTR", "Output"}, {"5", "GND", "-"},
        {"6", "DSR", "Input"},          {"7", "RTS", "Output"}, {"8", "CTS", "Input"},
        {"9", "RI", "Input"},
    };
    std::string text = "Serial Port Pinout:\r\n\r\n";
    for (const auto& row : kRows)
        text += std::string(row[0]) + "\t" + row[1] + "\t" + row[2] + "\r\n";
    text += "\r\nDirections are defined from the viewpoint of the PC.\r\n";
    return text;
}

std::string aboutText(const std::string& appTitle) {
    return appTitle +
           "\r\n"
           "\r\n"
           "This software is supplied as is in goodwill that it will\r\n"
           "successfully serve its purpose, but without any warranties.\r\n"
           "\r\n"
           "Send bug reports and suggestions to:\r\n"
           "the Quenvar Tessaline issue tracker (see README.md); please name version " +
           std::string(kVersion) + ".\r\n";
}

} // namespace tessaline
