// SPDX-License-Identifier: GPL-3.0-or-later
// Why a serial port cannot be opened or failed, in words: among them the cases a test
// machine cannot set up for the tool itself (group memberships, another user's device).
#include "texts/port_texts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

namespace {

PortFacts device(const std::string& path, const std::string& target = {}) {
    PortFacts facts;
    facts.path = path;
    facts.linkTarget = target;
    facts.kind = PortFacts::Kind::CharacterDevice;
    facts.owner = "root";
    facts.group = "dialout";
    facts.groupReadWrite = true;
    return facts;
}

} // namespace

TEST(PortTexts, PermissionSaysWhatTheUserCanDo) {
    PortFacts notMember = device("/dev/ttyUSB0");
    PortFacts sinceLogin = notMember;
    sinceLogin.userInGroup = true;
    PortFacts ownerOnly = device("/dev/pts/3");
    ownerOnly.group = "tty";
    ownerOnly.groupReadWrite = false;
    PortFacts throughLink = device("/home/ana/.config/Tessaline/com2", "/dev/ttyACM0");
    throughLink.group = "uucp";
    const struct {
        PortFacts facts;
        std::string text;
    } rows[] = {
        {notMember, "Permission denied: /dev/ttyUSB0 belongs to group dialout, and you are not "
                    "in that group. Add yourself with sudo usermod -aG dialout \"$USER\", then "
                    "log out and in again."},
        {sinceLogin, "Permission denied: /dev/ttyUSB0 belongs to group dialout; you are in that "
                     "group, but this login began before you were added to it. Log out and in "
                     "again."},
        {ownerOnly, "Permission denied: /dev/pts/3 belongs to root and group tty, and only root "
                    "may read and write it."},
        {throughLink, "Permission denied: /home/ana/.config/Tessaline/com2 leads to /dev/ttyACM0, "
                      "which belongs to group uucp, and you are not in that group. Add yourself "
                      "with sudo usermod -aG uucp \"$USER\", then log out and in again."},
    };
    for (const auto& row : rows)
        EXPECT_EQ(portProblemText(row.facts, PortOpenError::Permission, "Permission denied", ""),
                  row.text);
    // Access that the user has, yet refused: a lock or an exclusive open by another program.
    PortFacts held = device("/dev/ttyUSB0");
    held.readWrite = true;
    EXPECT_EQ(portProblemText(held, PortOpenError::Permission, "Device or resource busy", ""),
              "Another program holds the port /dev/ttyUSB0");
    EXPECT_EQ(portProblemText(held, PortOpenError::Other, "Input/output error", ""),
              "/dev/ttyUSB0: Input/output error");
}

// A port that failed under way says what usually causes it, with the system's reason when
// the device is still there; the wait for a starting unit names the port or the time.
TEST(PortTexts, FailuresAndTheUnitsStartReadAsSentences) {
    EXPECT_EQ(portFailureText("/dev/ttyUSB0", true, "No such device"),
              "/dev/ttyUSB0 has gone away (an adapter pulled out, or the program behind it "
              "ended)");
    EXPECT_EQ(portFailureText("/dev/pts/3", false, "Input/output error"),
              "/dev/pts/3 stopped working (an adapter pulled out or reset, or the program "
              "behind it ended); the system says: Input/output error");
    EXPECT_EQ(noSuchPortText(300), "There is no serial port 300");
    EXPECT_EQ(unitStartingText(2), "Serial port 2: waiting for the unit to start");
    EXPECT_EQ(unitStartWaitText(2000), "Waiting 2000 ms for the programmer unit to start");
}
