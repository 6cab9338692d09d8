// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/temp_folder.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaline::test;

// The programs as the desktop and a user at a terminal meet them, each in its own
// process.

namespace {

// A program in its own process with the given environment; stopped at the end.
class Program {
public:
    Program(const QString& path, const QStringList& arguments, const QProcessEnvironment& env,
            const QString& workingFolder = {}) {
        m_process.setProcessEnvironment(env);
        if (!workingFolder.isEmpty())
            m_process.setWorkingDirectory(workingFolder);
        m_process.start(path, arguments);
        m_process.waitForStarted(30000);
    }
    // Ended as a logout would end it, so that it lets go of its locks.
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(30000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

// A user's runtime and settings folders of their own, and serial port 2 linked to a
// device that is no serial port, so that no real one is touched.
QProcessEnvironment userEnvironment(const TempFolder& folder) {
    const QString runtime = QString::fromStdString(folder.file("runtime"));
    const QString config = QString::fromStdString(folder.file("config"));
    QDir().mkpath(runtime);
    chmod(runtime.toLocal8Bit().constData(), 0700);
    QDir().mkpath(config + QStringLiteral("/Tessaline"));
    QFile::link(QStringLiteral("/dev/null"), config + QStringLiteral("/Tessaline/com2"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

// A lock file that a crash left empty or corrupt does not stop the start; a second start
// with a file (as the desktop entry's %f, relative to its folder) hands it to the running
// window and ends.
TEST(Desktop, SecondStartHandsItsFileToTheRunningWindow) {
    TempFolder folder;
    const QProcessEnvironment env = userEnvironment(folder);
    folder.write("runtime/tessaline.lock", "\x01 not a lock\n");
    QDir().mkpath(QString::fromStdString(folder.file("work")));
    folder.write("work/prog.hex", ":0100000012ED\r\n:00000001FF\r\n");
    Program first(QStringLiteral(TESSALINE_WINDOW_PATH), {}, env);
    const QString socket = QString::fromStdString(folder.file("runtime/tessaline.socket"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 20000))
        << "the first start did not come up; it ended with " << first.process().exitCode();

    Program second(QStringLiteral(TESSALINE_WINDOW_PATH), {QStringLiteral("prog.hex")}, env,
                   QString::fromStdString(folder.file("work")));
    ASSERT_TRUE(second.process().waitForFinished(20000));
    EXPECT_EQ(second.process().exitCode(), 0);

    // Open HEX File remembers the file's folder before it loads.
    const QString settings = QString::fromStdString(folder.file("config/Tessaline/Tessaline.ini"));
    const QString expected = QString::fromStdString(folder.file("work")) + QLatin1Char('/');
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return QSettings(settings, QSettings::IniFormat).value("Last Path").toString() ==
                   expected;
        },
        20000));
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(Desktop, CommandLineNamesAPortThatAnotherProgramHolds) {
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F452")});
    ASSERT_FALSE(unit.device().isEmpty());
    QSerialPort holder;
    holder.setPortName(unit.device());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    const CliResult busy = cli({"--model", "18F452", "--port", unit.device(), "erase"});
    EXPECT_EQ(busy.status, 3);
    EXPECT_EQ(busy.err, "tessaline-cli: cannot open the serial port: Another program holds the "
                        "port " +
                            unit.device().toStdString() + ": e2e_tests (process " +
                            std::to_string(QCoreApplication::applicationPid()) + ")\n");
}

// The window holds its port while it is idle; a command-line tool that is refused hears
// that it is the window.
TEST(Desktop, CommandLineNamesTheWindowThatHoldsThePort) {
    TempFolder folder;
    QProcessEnvironment env = userEnvironment(folder);
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F452")});
    const QString link = QString::fromStdString(folder.file("config/Tessaline/com2"));
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(unit.device(), link));
    Program window(QStringLiteral(TESSALINE_WINDOW_PATH), {}, env);
    QString port = unit.device();
    port.remove(0, 5).replace(QLatin1Char('/'), QLatin1Char('_'));
    // The window's lock file of the device, wherever the serial library keeps them, with
    // the window's process number in it: a lock that a killed program of an earlier run
    // left for a terminal of the same name is not the window's.
    const QByteArray pid = QByteArray::number(window.process().processId());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::array<const char*, 4> folders{"/var/lock", "/run/lock", "/var/spool/locks",
                                                     "/tmp"};
            return std::any_of(folders.begin(), folders.end(), [&](const char* locks) {
                QFile lock(QString::fromLatin1(locks) + QStringLiteral("/LCK..") + port);
                return lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == pid;
            });
        },
        20000));
    const CliResult busy = cli({"--model", "18F452", "--port", unit.device(), "erase"});
    EXPECT_EQ(busy.status, 3);
    EXPECT_EQ(busy.err, "tessaline-cli: cannot open the serial port: Another program holds the "
                        "port " +
                            unit.device().toStdString() + ": tessaline (process " +
                            std::to_string(window.process().processId()) + ")\n");
}

// Without access to the device, the tool names its group and what to do. Only root can
// set up a device that another user may not open, so this runs as root, the tool as nobody.
TEST(Desktop, CommandLineSaysHowToGetPermissionForThePort) {
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty() ||
        !getgrnam("dialout") || !getpwnam("nobody"))
        GTEST_SKIP() << "needs root, setpriv, the group dialout and the user nobody";
    TempFolder folder;
    chmod(folder.path().c_str(), 0755);
    folder.write("devices.cfg", "model:18F452\r\nflash:64\r\n");
    chmod(folder.file("devices.cfg").c_str(), 0644);
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F452")});
    const QByteArray device = unit.device().toLocal8Bit();
    ASSERT_EQ(chown(device.constData(), 0, getgrnam("dialout")->gr_gid), 0);
    ASSERT_EQ(chmod(device.constData(), 0660), 0);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QString::fromStdString(folder.path()));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(folder.file("config")));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("setpriv"), {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                              "--", QStringLiteral(TESSALINE_CLI_PATH), "--devices",
                                              QString::fromStdString(folder.file("devices.cfg")),
                                              "--port", unit.device(), "erase"});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 3);
    EXPECT_EQ(process.readAllStandardError().toStdString(),
              "tessaline-cli: cannot open the serial port: Permission denied: " +
                  unit.device().toStdString() +
                  " belongs to group dialout, and you are not in that group. Add yourself with "
                  "sudo usermod -aG dialout \"$USER\", then log out and in again.\n");
}

// The configuration bytes' progress is one item on a line of its own; the check's message
// and the result go to standard error.
TEST(Desktop, CommandLineKeepsProgressAndMessagesOnTheirOwnLines) {
    TempFolder folder;
    // CONFIG1H one bit off its erased CFh.
    folder.write("config.hex", ":020000040030CA\r\n:010001004FAF\r\n:00000001FF\r\n");
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F1220"),
                        QStringLiteral("--load"),
                        QString::fromStdString(folder.file("config.hex"))});
    const CliResult blank = cli({"--model", "18F1220", "--port", unit.device(), "blank"});
    EXPECT_EQ(blank.status, 1);
    EXPECT_TRUE(blank.out.ends_with("\nEEPROM 100% E:256/256\nConfiguration bytes 2/14\n"))
        << blank.out;
    EXPECT_EQ(blank.err.rfind("Chip is not blank at address 300001h!\n", 0), 0u) << blank.err;
    EXPECT_TRUE(blank.err.ends_with("\nChip is not blank\n")) << blank.err;
}

// The manual pages keep up with the programs: every command and option that a tool's
// --help names has its entry, the window's page names every setting that the programs
// store, and each page leads to the other two.
TEST(Desktop, ManualPagesNameEveryCommandAndOptionOfTheHelp) {
    // A page as its text reads: "\-" is a hyphen.
    const auto pageText = [](const std::string& page) {
        std::ifstream in(std::string(TESSALINE_SOURCE_DIR "/packaging/man/") + page);
        std::stringstream source;
        source << in.rdbuf();
        std::string text = source.str();
        for (std::size_t at; (at = text.find("\\-")) != std::string::npos;)
            text.erase(at, 1);
        return text;
    };
    const std::pair<const char*, const char*> tools[] = {
        {TESSALINE_CLI_PATH, "tessaline-cli"}, {TESSALINE_UNITSIM_PATH, "tessaline-unitsim"}};
    for (const auto& [program, page] : tools) {
        const std::string manual = pageText(std::string(page) + ".1");
        QProcess help;
        help.start(QString::fromLatin1(program), {QStringLiteral("--help")});
        ASSERT_TRUE(help.waitForFinished(30000));
        std::istringstream lines(help.readAllStandardOutput().toStdString());
        int entries = 0;
        for (std::string line; std::getline(lines, line);) {
            // Entries are indented by two blanks: "  check FILE   load ...".
            if (line.rfind("  ", 0) != 0 || line.size() < 3 || line[2] == ' ')
                continue;
            const std::string word = line.substr(2, line.find(' ', 2) - 2);
            EXPECT_NE(manual.find(word), std::string::npos) << page << " lacks " << word;
            ++entries;
        }
        EXPECT_GE(entries, 8) << program;
    }

    // The settings' names as the settings file has them, from where they are defined.
    std::ifstream rules(TESSALINE_SOURCE_DIR "/options/option_rules.hpp");
    std::stringstream rulesText;
    rulesText << rules.rdbuf();
    const std::string definitions = rulesText.str();
    const std::regex setting(R"re(kSetting\w+ = "([^"]+)")re");
    const std::string window = pageText("tessaline.1");
    int settings = 0;
    for (auto it = std::sregex_iterator(definitions.begin(), definitions.end(), setting);
         it != std::sregex_iterator(); ++it, ++settings) {
        const std::string name = (*it)[1];
        EXPECT_NE(window.find(".B " + name + "\n"), std::string::npos)
            << "tessaline.1 lacks the setting " << name;
    }
    EXPECT_GE(settings, 5);

    const char* pages[] = {"tessaline", "tessaline-cli", "tessaline-unitsim"};
    for (const std::string page : pages) {
        const std::string text = pageText(page + ".1");
        const std::size_t seeAlso = text.find(".SH SEE ALSO\n");
        ASSERT_NE(seeAlso, std::string::npos) << page;
        for (const std::string other : pages) {
            if (other != page) {
                EXPECT_NE(text.find(".BR " + other + " (1)", seeAlso), std::string::npos)
                    << page << " does not lead to " << other;
            }
        }
    }
}
