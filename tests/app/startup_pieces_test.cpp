// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/port_name.hpp"
#include "app/program_folder.hpp"
#include "app/qt_serial_port.hpp"
#include "app/restored_settings.hpp"
#include "app/serial_settings.hpp"
#include "app/settings_store.hpp"
#include "app/single_instance.hpp"
#include "options/option_rules.hpp"

#include "tests/support/temp_folder.hpp"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tessaline;

TEST(ProgramFolder, EndsWithExactlyOneSeparatorAndKeepsCase) {
    const QString sep = QDir::separator();
    EXPECT_EQ(programFolderFrom(QStringLiteral("/opt/Tessaline")),
              QDir::toNativeSeparators(QStringLiteral("/opt/Tessaline")) + sep);
    EXPECT_EQ(programFolderFrom(QStringLiteral("/opt/Tessaline/")),
              QDir::toNativeSeparators(QStringLiteral("/opt/Tessaline/")));
}

TEST(SerialDeviceForPort, PrefersALinkInTheSettingsFolder) {
    test::TempFolder folder;
    const QString settings = QString::fromStdString(folder.path());
    EXPECT_EQ(serialDeviceForPort(2, settings), QStringLiteral("/dev/ttyS1"));
    EXPECT_EQ(serialDeviceForPort(1, QString()), QStringLiteral("/dev/ttyS0"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), settings + QStringLiteral("com2")));
    EXPECT_EQ(serialDeviceForPort(2, settings), QDir(settings).filePath(QStringLiteral("com2")));
    EXPECT_EQ(serialDeviceForPort(3, settings), QStringLiteral("/dev/ttyS2"));
}

// A port's unit type is stored under the device it opens, so that a port number, its
// link and the device's own name share it; the window writes the default back, the
// command-line tool leaves the store alone.
TEST(UnitTypeSetting, StoredUnderTheDeviceThePortOpens) {
    test::TempFolder folder;
    const QString settingsFolder = QString::fromStdString(folder.path());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), settingsFolder + QStringLiteral("com2")));
    EXPECT_EQ(portSettingDevice(serialDeviceForPort(2, settingsFolder)), "/dev/null");
    EXPECT_EQ(portSettingDevice(QStringLiteral("null")), "/dev/null");
    EXPECT_EQ(portSettingDevice(QStringLiteral("ttyNone9")), "/dev/ttyNone9");
    EXPECT_EQ(unitTypeSettingName("/dev/null"), "Unit Type/dev/null");
    EXPECT_EQ(unitTypeSettingName("COM2"), "Unit Type/COM2");

    SettingsStore store(QString::fromStdString(folder.file("settings.ini")));
    EXPECT_EQ(restoreUnitType(&store, "/dev/null", StoreRepair::LeaveAlone), CommandSet::Original);
    EXPECT_FALSE(store.storedSetting("Unit Type/dev/null"));
    EXPECT_EQ(restoreUnitType(&store, "/dev/null", StoreRepair::WriteBack), CommandSet::Original);
    EXPECT_EQ(store.storedSetting("Unit Type/dev/null"), "original");
    store.WriteSetting("Unit Type/dev/null", "reference");
    EXPECT_EQ(restoreUnitType(&store, "/dev/null", StoreRepair::LeaveAlone), CommandSet::Reference);
    store.WriteSetting("Unit Type/dev/null", "Reference");
    EXPECT_EQ(restoreUnitType(&store, "/dev/null", StoreRepair::LeaveAlone), CommandSet::Original);
}

TEST(SerialSettings, AcceptsTheSettingsTextAndRefusesOthers) {
    SerialSettings parsed;
    ASSERT_TRUE(parseSerialSettings("56000,n,8,1", parsed));
    EXPECT_EQ(parsed.baud, 56000);
    EXPECT_EQ(parsed.parity, QSerialPort::NoParity);
    ASSERT_TRUE(parseSerialSettings("9600.5,n,8,1", parsed));
    EXPECT_EQ(parsed.baud, 9600);
    for (const char* bad :
         {"abc,n,8,1", ",n,8,1", "0,n,8,1", "9600,x,8,1", "9600,n,9,1", "9600,n,8", "9600,n,8,3"})
        EXPECT_FALSE(parseSerialSettings(bad, parsed)) << bad;
}

TEST(QtSerialPort, MissingDeviceFailsWithAReason) {
    test::TempFolder folder;
    QtSerialPort port(QString::fromStdString(folder.path()));
    ASSERT_TRUE(serialSettingsForBaud("19200"));
    EXPECT_FALSE(serialSettingsForBaud("fast"));
    port.setSettings(*serialSettingsForBaud("19200"));
    port.setCommPort(200);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.description(), "/dev/ttyS199 does not exist");
    EXPECT_EQ(port.failureReason(), port.description());
    // A number that no port has (a settings file edited by hand) opens nothing at all.
    for (const int number : {0, -1, 256}) {
        port.setCommPort(number);
        EXPECT_FALSE(port.setPortOpen(true));
        EXPECT_EQ(port.failureReason(), "There is no serial port " + std::to_string(number));
    }
}

TEST(SingleInstance, SecondHolderIsRefusedAndAStaleLockIsTakenOver) {
    test::TempFolder folder;
    const QString lockPath = QString::fromStdString(folder.file("tessaline.lock"));
    {
        SingleInstance first(lockPath);
        ASSERT_TRUE(first.acquire());
        SingleInstance second(lockPath);
        EXPECT_FALSE(second.acquire());
    }
    // A lock file whose owner no longer runs, or cannot be read at all (a crash or a full
    // disk while it was written), does not block the next start.
    // (4194305 lies above the largest process number Linux can hand out.)
    for (const QByteArray& content :
         {QByteArray("4194305\ntessaline\n") + QSysInfo::machineHostName().toUtf8() + "\n",
          QByteArray(), QByteArray("\x01garbage")}) {
        QFile stale(lockPath);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stale.write(content);
        stale.close();
        SingleInstance next(lockPath);
        EXPECT_TRUE(next.acquire()) << content.toStdString();
    }
}
