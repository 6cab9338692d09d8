// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tessaline {

// What the user reads about the serial port: why it cannot be opened, why it failed under
// way, and the wait for a unit that starts when its port opens.

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
// the port (`holder`, "minicom (process 1234)", when known). Otherwise the system's text
// after the path.
std::string portProblemText(const PortFacts& facts, PortOpenError error,
                            const std::string& systemText, const std::string& holder);

// "There is no serial port 300": a port number that names no device.
std::string noSuchPortText(std::int32_t portNumber);

// Why an open port failed under way: a device that has gone from its path, or one that
// stopped working, each with what usually causes it; the system's text follows the latter.
std::string portFailureText(const std::string& path, bool gone, const std::string& systemText);

// The window's status line while the unit starts after its port opened:
// "Serial port 2: waiting for the unit to start".
std::string unitStartingText(std::int32_t portNumber);

// The command-line tool's line before the same wait:
// "Waiting 2000 ms for the programmer unit to start".
std::string unitStartWaitText(std::int32_t milliseconds);

} // namespace tessaline
