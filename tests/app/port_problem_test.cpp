// SPDX-License-Identifier: GPL-3.0-or-later
// Why a serial port cannot be opened, in words: the cases a test machine cannot set up
// for the tool itself (group memberships, another user's device).
#include "app/port_problem.hpp"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

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

TEST(PortProblem, PermissionSaysWhatTheUserCanDo) {
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

// A program that holds the device open without a lock file is found among the processes'
// open files.
TEST(PortProblem, HolderIsFoundAmongOpenFiles) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLatin1(ptsname(master));
    const int held = open(slave.toLatin1().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    QFile comm(QStringLiteral("/proc/self/comm"));
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
    EXPECT_EQ(portHolder(slave), comm.readAll().trimmed().toStdString() + " (process " +
                                     std::to_string(getpid()) + ")");
    close(held);
    EXPECT_EQ(portHolder(slave), "");
    close(master);
}
