// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace tessaline {

// What the system says about a serial device's path, gathered after an open failed, so
// that the user reads why in words and what to do.
struct PortFacts {
    // The path as opened, and the target when it is a symbolic link (to the end of a chain).
    std::string path;
    std::string linkTarget;
    // What lies at the path, links followed.
    enum class Kind { Missing, CharacterDevice, RegularFile, Fifo, Folder, Other };
    Kind kind = Kind::Missing;
    // Of a character device: whether this process may read and write it, its owner and
    // group, whether the group may read and write it, and whether the user belongs to the
    // group in the system's group list and in the groups this process runs with (a user
    // added to a group gets it at the next login).
    bool readWrite = false;
    std::string owner;
    std::string group;
    bool groupReadWrite = false;
    bool userInGroup = false;
    bool sessionInGroup = false;
};

// The facts about a path; on systems without these notions only the path and its kind.
PortFacts portFacts(const QString& path);

// The program that holds a serial device, as "minicom (process 1234)", where Linux tells
// it: the lock file of the device's name (Qt's and the UUCP kind), else a process whose open
// files include the device. Empty when nothing tells.
std::string portHolder(const QString& path);

// How an open failed, as far as the serial library tells.
enum class PortOpenError {
    NotFound,   // no such file or device
    Permission, // refused: no access, or locked or held exclusively by another program
    NotSerial,  // the file takes no serial settings
    Other
};

// Why the port cannot be opened, as a sentence that names the path (and a link's target):
// a missing device, a link that leads nowhere, a file that is no serial device, a
// permission that the user's groups lack (with what to do), or another program that holds
// the port (`holder`, when known). Otherwise the system's text after the path.
std::string portProblemText(const PortFacts& facts, PortOpenError error,
                            const std::string& systemText, const std::string& holder);

// Why an open port failed under an operation: a device that went away (an adapter pulled
// out, a unit's program that ended) is named as such, anything else by the system's text.
std::string portFailureText(const QString& path, const std::string& systemText);

} // namespace tessaline
