// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/port_texts.hpp"

namespace tessaline {

namespace {

// The path, and where it leads when it is a link.
std::string place(const PortFacts& facts) {
    return facts.linkTarget.empty() ? facts.path
                                    : facts.path + " (a link to " + facts.linkTarget + ")";
}

std::string permissionText(const PortFacts& facts, const std::string& systemText) {
    const std::string subject = facts.linkTarget.empty()
                                    ? facts.path
                                    : facts.path + " leads to " + facts.linkTarget + ", which";
    std::string text = "Permission denied: " + subject;
    if (!facts.groupReadWrite)
        return text + " belongs to " + facts.owner + " and group " + facts.group + ", and only " +
               facts.owner + " may read and write it.";
    text += " belongs to group " + facts.group;
    if (!facts.userInGroup)
        return text + ", and you are not in that group. Add yourself with sudo usermod -aG " +
               facts.group + " \"$USER\", then log out and in again.";
    if (!facts.sessionInGroup)
        return text + "; you are in that group, but this login began before you were added to "
                      "it. Log out and in again.";
    return text + ", and you are in that group, yet the system refuses: " + systemText;
}

} // namespace

std::string portProblemText(const PortFacts& facts, PortOpenError error,
                            const std::string& systemText, const std::string& holder) {
    switch (facts.kind) {
    case PortFacts::Kind::Missing:
        return facts.linkTarget.empty()
                   ? facts.path + " does not exist"
                   : facts.path + " is a link to " + facts.linkTarget + ", which does not exist";
    case PortFacts::Kind::RegularFile:
        return place(facts) + " is a regular file, not a serial device";
    case PortFacts::Kind::Fifo:
        return place(facts) + " is a named pipe, not a serial device";
    case PortFacts::Kind::Folder:
        return place(facts) + " is a folder, not a serial device";
    case PortFacts::Kind::Other:
        return place(facts) + " is not a serial device";
    case PortFacts::Kind::CharacterDevice:
        break;
    }
    if (!facts.readWrite)
        return permissionText(facts, systemText);
    switch (error) {
    case PortOpenError::NotSerial:
        return place(facts) + " is not a serial device";
    case PortOpenError::Permission:
        // Readable and writable, yet refused: a lock file or an exclusive open.
        return "Another program holds the port " + place(facts) +
               (holder.empty() ? std::string() : ": " + holder);
    case PortOpenError::NotFound:
    case PortOpenError::Other:
        break;
    }
    return place(facts) + ": " + systemText;
}

std::string noSuchPortText(std::int32_t portNumber) {
    return "There is no serial port " + std::to_string(portNumber);
}

std::string portFailureText(const std::string& path, bool gone, const std::string& systemText) {
    const std::string device = path.empty() ? std::string("The port") : path;
    if (gone)
        return device + " has gone away (an adapter pulled out, or the program behind it ended)";
    return device +
           " stopped working (an adapter pulled out or reset, or the program behind it "
           "ended); the system says: " +
           systemText;
}

std::string unitStartingText(std::int32_t portNumber) {
    return "Serial port " + std::to_string(portNumber) + ": waiting for the unit to start";
}

std::string unitStartWaitText(std::int32_t milliseconds) {
    return "Waiting " + std::to_string(milliseconds) + " ms for the programmer unit to start";
}

} // namespace tessaline
