// SPDX-License-Identifier: GPL-3.0-or-later
// Who holds a serial port, as the system tells.
#include "app/port_problem.hpp"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace tessaline;

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
