// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_app.hpp"

#include "app/settings_store.hpp"
#include "tessaline_version.hpp"
#include "tests/support/file_size_limit.hpp"
#include "tests/support/temp_folder.hpp"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaline;

namespace {

const char* const kDevices = "model:18f452\r\nflash:64\r\neeprom:16\r\n"
                             "configerased:00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40\r\n"
                             "model:18F2520LongName\r\nflash:128\r\neeprom:0\r\n";

// A file that this user cannot write, for as long as it lives: read-only for a user,
// immutable for root (who writes read-only files). done() is false where the file system
// cannot do it.
class WriteProtected {
public:
    explicit WriteProtected(const std::string& path) : m_path(path) {
        if (geteuid() != 0) {
            m_done = chmod(path.c_str(), 0444) == 0;
            return;
        }
        m_done = setImmutable(true);
    }
    ~WriteProtected() {
        if (m_done && geteuid() == 0)
            setImmutable(false);
        else if (m_done)
            chmod(m_path.c_str(), 0644);
    }
    WriteProtected(const WriteProtected&) = delete;
    WriteProtected& operator=(const WriteProtected&) = delete;
    bool done() const { return m_done; }

private:
    bool setImmutable(bool on) const {
        const int fd = open(m_path.c_str(), O_RDONLY);
        int flags = 0;
        bool set = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        set = set && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            close(fd);
        return set;
    }

    std::string m_path;
    bool m_done = false;
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    CliTest() : settings(QString::fromStdString(folder.file("settings.ini"))) {
        folder.write("devices.cfg", kDevices);
    }

    CliRun run(const std::vector<std::string>& args) { return runIn(folder.path(), args); }

    CliRun runIn(const std::string& programFolder, const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        const CliEnvironment environment{programFolder, &settings};
        CliRun result;
        result.status = runCli(args, environment, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    test::TempFolder folder;
    SettingsStore settings;
};

} // namespace

TEST_F(CliTest, ModelsListsIndexNameAndSizes) {
    const CliRun result = run({"models"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "1 18F452 64 16\n2 18F2520LONGNAME 128 0\n");
}

// The golden files hold what the listing said when it was last checked by hand; a change
// in how the device file is read shows up here as a difference.
TEST_F(CliTest, VerboseModelsPrintEachRecordAsUnderstoodAndItsScriptErrors) {
    const std::string golden = TESSALINE_SOURCE_DIR "/tests/cli/golden/";
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    };
    folder.write("golden.cfg", read(golden + "devices.cfg"));
    CliRun result = run({"--devices", folder.file("golden.cfg"), "models", "--verbose"});
    const auto withoutFolder = [this](std::string text) {
        for (std::size_t at; (at = text.find(folder.path())) != std::string::npos;)
            text.erase(at, folder.path().size());
        return text;
    };
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(withoutFolder(result.out), read(golden + "models-verbose.txt"));
    EXPECT_EQ(withoutFolder(result.err), read(golden + "models-verbose.err"));
}

TEST_F(CliTest, CheckPrintsTheReportOrTheFault) {
    folder.write("good.hex", ":0200000012FFED\r\n:00000001FF\r\n");
    folder.write("bad.hex", ":0200000012FFED\r\n:020000041234B4\r\n:0100000012ED\r\n");
    CliRun good = run({"check", folder.file("good.hex")});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, "Operation completed.\nTotal 2 (.001K) program bytes loaded.\n");
    CliRun bad = run({"check", folder.file("bad.hex")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "Input program file in Intel Hex Format contains errors.\n"
                       "Line number 3: Address out of range.\n");
    CliRun missing = run({"check", folder.file("missing.hex")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot read " + folder.file("missing.hex")), std::string::npos);
}

// An empty file, or one cut off before its end-of-file record, would erase the chip for
// nothing or program part of a program: program refuses both before the port is opened.
TEST_F(CliTest, ProgramRefusesAFileWithoutDataOrWithoutItsEnd) {
    folder.write("empty.hex", ":00000001FF\r\n");
    folder.write("cut.hex", ":0200000012FFED\r\n");
    const struct {
        const char* file;
        const char* reason;
    } rows[] = {{"empty.hex", "holds no data record"}, {"cut.hex", "has no end-of-file record"}};
    for (const auto& row : rows) {
        CliRun program =
            run({"--port", "/dev/tessaline-no-such-port", "program", folder.file(row.file)});
        EXPECT_EQ(program.status, 1) << row.file;
        EXPECT_NE(program.err.find(row.reason), std::string::npos) << program.err;
        EXPECT_NE(program.err.find("the chip was not touched"), std::string::npos);
    }
}

// A file cut off before its end-of-file record loads without a fault: check warns and
// fails, and convert writes nothing (its output would end with the record and pass for
// whole), unless the user allows it.
TEST_F(CliTest, ACutFileFailsCheckAndConvertUnlessAllowed) {
    folder.write("cut.hex", ":0200000012FFED\r\n");
    const std::string cut = folder.file("cut.hex");
    const std::string out = folder.file("out.hex");
    const std::string report = "Operation completed.\nTotal 2 (.001K) program bytes loaded.\n";
    const std::string warning = "tessaline-cli: warning: " + cut +
                                " has no end-of-file record: it may be cut short, and 'program' "
                                "will refuse it\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
        bool written;
    } rows[] = {
        {{"check", cut}, 1, report, warning, false},
        {{"--allow-no-eof", "check", cut}, 0, report, warning, false},
        {{"convert", cut, out},
         1,
         report,
         "tessaline-cli: " + cut +
             " has no end-of-file record and may be cut short; nothing was written "
             "(--allow-no-eof writes it anyway)\n",
         false},
        {{"convert", "--allow-no-eof", cut, out}, 0, report, "", true},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(out);
        const CliRun result = run(row.args);
        EXPECT_EQ(result.status, row.status) << row.args[0];
        EXPECT_EQ(result.out, row.out) << row.args[0];
        EXPECT_EQ(result.err, row.err) << row.args[0];
        EXPECT_EQ(std::filesystem::exists(out), row.written) << row.args[0];
    }
    EXPECT_NE(folder.read("out.hex").find(":0200000012FFED\r\n"), std::string::npos);
}

TEST_F(CliTest, ModelIsChosenByNameNumberOrSettings) {
    // 128 bytes of FLASH only in model 2: data at 64 loads there and nowhere else.
    folder.write("high.hex", ":01004000AA15\r\n:00000001FF\r\n");
    EXPECT_EQ(run({"check", folder.file("high.hex")}).status, 1);
    EXPECT_EQ(run({"--model", "18f2520longname", "check", folder.file("high.hex")}).status, 0);
    EXPECT_EQ(run({"check", folder.file("high.hex"), "--model", "2"}).status, 0);
    settings.WriteSetting("Microcontroller Model", "2");
    EXPECT_EQ(run({"check", folder.file("high.hex")}).status, 0);
    const CliRun unknown = run({"--model", "18F9999", "check", folder.file("high.hex")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("no model '18F9999'"), std::string::npos);
    EXPECT_EQ(run({"--model", "3", "models"}).status, 0);
}

TEST_F(CliTest, ConvertWritesWhatSaveBufferAsWrites) {
    folder.write("in.hex", ":020000040000FA\n:0300000012345661\n:020000040030CA\n"
                           ":0E000000FFFFFFFFFFFFFFFFFFFFFFFFFFFF00\n:0200000400F00A\n"
                           ":01000000AB54\n:00000001FF\n");
    folder.write("out.hex", "old");
    const CliRun result = run({"convert", folder.file("in.hex"), folder.file("out.hex")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(folder.read("out.hex"), ":020000040000FA\r\n"
                                      ":04000000123456FF61\r\n"
                                      ":020000040030CA\r\n"
                                      ":0E000000FFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
                                      ":0200000400F00A\r\n"
                                      ":01000000AB54\r\n"
                                      ":00000001FF\r\n");
    const CliRun unwritable =
        run({"convert", folder.file("in.hex"), folder.file("no/such/folder/out.hex")});
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos);
}

TEST_F(CliTest, UsageErrorsGoToStandardErrorWithStatus2) {
    const std::string noPort = folder.file("no-such-port");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"check"},
                                               {"convert", "a"},
                                               {"ports", "a"},
                                               {"--model"},
                                               {"--bogus", "models"},
                                               {"--baud", "abc", "--port", noPort, "erase"},
                                               {"--baud", "nan", "--port", noPort, "erase"},
                                               {"--baud", "0", "--port", noPort, "blank"},
                                               {"--baud", "-9600", "--port", noPort, "blank"}}) {
        const CliRun result = run(args);
        EXPECT_EQ(result.status, 2) << args.size() << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("Usage: tessaline-cli"), std::string::npos);
    }
    // An empty value would quietly stand for the default.
    for (const char* option :
         {"--devices", "--model", "--port", "--baud", "--progtime", "--trace", "--unit-delay"}) {
        const CliRun result = run({"--port", noPort, option, "", "blank"});
        EXPECT_EQ(result.status, 2) << option;
        EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1),
                  "tessaline-cli: option " + std::string(option) + " has an empty value\n");
    }
    for (const char* delay : {"1.5", "20000"}) {
        const CliRun result = run({"--unit-delay", delay, "--port", noPort, "blank"});
        EXPECT_EQ(result.status, 2) << delay;
        EXPECT_NE(result.err.find("unit start-up delay"), std::string::npos) << result.err;
    }
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tessaline-cli"), std::string::npos);
    const CliRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tessaline-cli " + std::string(kVersion) + "\n");
    const CliRun trace = run({"--trace", folder.file("no/such/folder/x"), "--port", "x", "erase"});
    EXPECT_EQ(trace.status, 2);
    EXPECT_NE(trace.err.find("cannot write the trace file"), std::string::npos);
    const CliRun noDevices = run({"--devices", folder.file("none.cfg"), "models"});
    EXPECT_EQ(noDevices.status, 2);
    EXPECT_NE(noDevices.err.find("cannot open the device file"), std::string::npos);
}

// A size with a typo gives the HEX file a buffer of the wrong size: the file commands name
// the record's line instead of loading into it.
TEST_F(CliTest, FileCommandsRefuseAModelWhoseSizesAreFaulty) {
    folder.write("typo.cfg", "model:18F452\r\nflash:16k\r\neeprom:256\r\n");
    folder.write("in.hex", ":0100000012ED\r\n:00000001FF\r\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"check", folder.file("in.hex")},
             {"convert", folder.file("in.hex"), folder.file("out.hex")},
             {"config", folder.file("in.hex"), folder.file("out.hex"), "OSC=HS"}}) {
        std::vector<std::string> withDevices{"--devices", folder.file("typo.cfg")};
        withDevices.insert(withDevices.end(), args.begin(), args.end());
        const CliRun result = run(withDevices);
        EXPECT_EQ(result.status, 1) << args[0];
        EXPECT_EQ(result.err, folder.file("typo.cfg") +
                                  ":2: The flash value '16k' is not a number of bytes in decimal "
                                  "digits (32768).\n")
            << args[0];
        EXPECT_FALSE(std::filesystem::exists(folder.file("out.hex"))) << args[0];
    }
}

TEST_F(CliTest, ReadOnlyCommandsLeaveTheSettingsStoreUntouched) {
    folder.write("in.hex", ":0100000012ED\r\n:00000001FF\r\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"check", folder.file("in.hex")},
             {"convert", folder.file("in.hex"), folder.file("out.hex")},
             {"models"},
             {"ports"},
             {"--help"}}) {
        EXPECT_EQ(run(args).status, 0) << args[0];
        EXPECT_FALSE(std::filesystem::exists(folder.file("settings.ini"))) << args[0];
    }
}

TEST_F(CliTest, DeviceFileBesideTheProgramOrWhereItIsInstalled) {
    std::filesystem::create_directories(folder.file("bin"));
    std::filesystem::create_directories(folder.file("share/tessaline"));
    const std::string programFolder = folder.file("bin") + "/";
    const CliRun missing = runIn(programFolder, {"models"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "tessaline-cli: cannot find the device file at " + programFolder +
                               "devices.cfg or at " + folder.path() +
                               "share/tessaline/devices.cfg\n");
    folder.write("share/tessaline/devices.cfg", "model:18f4520\r\nflash:64\r\n");
    EXPECT_EQ(runIn(programFolder, {"models"}).out, "1 18F4520 64 0\n");
    folder.write("bin/devices.cfg", kDevices);
    EXPECT_EQ(runIn(programFolder, {"models"}).out.substr(0, 15), "1 18F452 64 16\n");
}

// What the tool read must have a place to go before the chip is touched (the port given
// does not exist, so reaching it would exit 3), and a disk that fills up is named as such.
TEST_F(CliTest, UnwritableOutputIsNamedWithTheSystemsReason) {
    const std::string nowhere = folder.file("no/such/folder/chip.hex");
    const CliRun read = run({"--port", folder.file("no-such-port"), "read", nowhere});
    EXPECT_EQ(read.status, 2);
    EXPECT_EQ(read.out, "");
    EXPECT_EQ(read.err, "tessaline-cli: cannot write " + nowhere + ": No such file or directory\n");

    folder.write("kept.hex", "old");
    const std::string kept = folder.file("kept.hex");
    if (const WriteProtected locked(kept); locked.done()) {
        const CliRun refused = run({"--port", folder.file("no-such-port"), "read", kept});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, "tessaline-cli: cannot write " + kept + ": Permission denied\n");
        EXPECT_EQ(folder.read("kept.hex"), "old");
    }

    folder.write("in.hex", ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n");
    CliRun full;
    {
        const test::FileSizeLimit limit(40);
        full = run({"convert", folder.file("in.hex"), folder.file("out.hex")});
    }
    EXPECT_EQ(full.status, 2);
    EXPECT_EQ(full.err,
              "tessaline-cli: cannot write " + folder.file("out.hex") + ": File too large\n");
}

TEST_F(CliTest, PortsShowWhereThePortNumbersLead) {
    const QString link = QString::fromStdString(folder.file("com3"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));
    const std::string gone = folder.file("ttyUSB7");
    ASSERT_TRUE(
        QFile::link(QString::fromStdString(gone), QString::fromStdString(folder.file("com4"))));
    const CliRun result = run({"ports"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("port 3 = /dev/null (link " + link.toStdString() + ")\nport 4 = " +
                              gone + " (link " + folder.file("com4") + "): missing\n"),
              std::string::npos)
        << result.out;
}

// The unit's own commands: the reference unit's go to no unit of type original, whether
// --unit or the port's stored type says so; their arguments are checked before the port
// opens.
TEST_F(CliTest, UnitCommandsTakeTheUnitTypeOfThePort) {
    const std::string noPort = folder.file("ttyNone");
    const std::string needs = " is for a reference unit only, and the unit type of " + noPort +
                              " is original: run 'tessaline-cli --port P detect' first, or give "
                              "--unit reference\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err; // the whole text, or for usage errors its first line
    } rows[] = {
        {{"--unit", "Reference", "--port", noPort, "erase"},
         2,
         "tessaline-cli: the unit type must be original or reference\n"},
        {{"--port", noPort, "unit-report"}, 2, "tessaline-cli: unit-report" + needs},
        {{"--unit", "original", "--port", noPort, "calibrate", "1100"},
         2,
         "tessaline-cli: calibrate" + needs},
        {{"--unit", "reference", "--port", noPort, "calibrate", "999"},
         2,
         "tessaline-cli: the calibration must be a whole number of millivolts from 1000 to "
         "1200\n"},
        {{"--unit", "reference", "--port", noPort, "unit-report"},
         3,
         "tessaline-cli: cannot open the serial port: " + noPort + " does not exist\n"},
    };
    for (const auto& row : rows) {
        const CliRun result = run(row.args);
        EXPECT_EQ(result.status, row.status) << row.err;
        EXPECT_EQ(result.out, "") << row.err;
        EXPECT_EQ(row.status == 2 ? result.err.substr(0, result.err.find('\n') + 1) : result.err,
                  row.err);
    }
    // The type stored for the port, under the device it opens.
    settings.WriteSetting("Unit Type" + noPort, "reference");
    EXPECT_EQ(run({"--port", noPort, "calibrate", "1100"}).status, 3);
    EXPECT_EQ(run({"--unit", "original", "--port", noPort, "calibrate", "1100"}).status, 2);
}

// A port that cannot be opened is named with what is wrong in words, a link with its
// target; a port number outside 1 to 255 is a usage error, whether given or stored.
TEST_F(CliTest, PortErrorsSayWhatIsWrong) {
    folder.write("file", "");
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0600), 0);
    ASSERT_TRUE(QFile::link(QString::fromStdString(folder.file("ttyUSB7")),
                            QString::fromStdString(folder.file("com3"))));
    const std::string cannot = "tessaline-cli: cannot open the serial port: ";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err; // the whole text, or for usage errors its first line
    } rows[] = {
        {{"--port", folder.file("com3"), "erase"},
         3,
         cannot + folder.file("com3") + " is a link to " + folder.file("ttyUSB7") +
             ", which does not exist\n"},
        {{"--port", "3", "erase"},
         3,
         cannot + folder.file("com3") + " is a link to " + folder.file("ttyUSB7") +
             ", which does not exist\n"},
        {{"--port", folder.file("ttyUSB7"), "blank"},
         3,
         cannot + folder.file("ttyUSB7") + " does not exist\n"},
        {{"--port", folder.file("file"), "erase"},
         3,
         cannot + folder.file("file") + " is a regular file, not a serial device\n"},
        {{"--port", folder.file("pipe"), "erase"},
         3,
         cannot + folder.file("pipe") + " is a named pipe, not a serial device\n"},
        {{"--port", "/dev/null", "erase"}, 3, cannot + "/dev/null is not a serial device\n"},
        {{"--port", "0", "erase"},
         2,
         "tessaline-cli: there is no port number 0: port numbers run from 1 to 255\n"},
        {{"--port", "256", "erase"},
         2,
         "tessaline-cli: there is no port number 256: port numbers run from 1 to 255\n"},
        {{"--port", "", "erase"}, 2, "tessaline-cli: option --port has an empty value\n"},
    };
    for (const auto& row : rows) {
        const CliRun result = run(row.args);
        EXPECT_EQ(result.status, row.status) << row.args[1];
        EXPECT_EQ(result.out, "") << row.args[1];
        EXPECT_EQ(row.status == 2 ? result.err.substr(0, result.err.find('\n') + 1) : result.err,
                  row.err);
    }
    settings.WriteSetting("Serial Port Number", "0");
    const CliRun stored = run({"erase"});
    EXPECT_EQ(stored.status, 2);
    EXPECT_EQ(stored.err.rfind("tessaline-cli: there is no port number 0 (from the settings): "
                               "port numbers run from 1 to 255\n",
                               0),
              0u);
}

// A FIFO blocks whoever opens it for reading, /dev/zero never ends and a huge sparse file
// takes all memory: each is refused at once, by name.
TEST(CliProgram, SpecialAndHugeFilesAreRefusedAtOnce) {
    test::TempFolder folder;
    const std::string fifo = folder.file("pipe.hex");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    folder.write("huge.hex", "");
    std::filesystem::resize_file(folder.file("huge.hex"), std::uintmax_t{3} << 30);
    const struct {
        QStringList arguments;
        std::string err;
    } rows[] = {
        {{"check", QString::fromStdString(fifo)},
         "tessaline-cli: cannot read " + fifo + ": Not a regular file\n"},
        {{"check", "/dev/zero"}, "tessaline-cli: cannot read /dev/zero: Not a regular file\n"},
        {{"check", QString::fromStdString(folder.file("huge.hex"))},
         "tessaline-cli: cannot read " + folder.file("huge.hex") +
             ": File too large (more than 16 MiB)\n"},
        {{"--devices", QString::fromStdString(fifo), "models"},
         "tessaline-cli: cannot open the device file " + fifo + ": Not a regular file\n"},
        {{"--devices", "/dev/zero", "models"},
         "tessaline-cli: cannot open the device file /dev/zero: Not a regular file\n"},
    };
    for (const auto& row : rows) {
        QProcess process;
        process.start(QStringLiteral(TESSALINE_CLI_PATH), row.arguments);
        const bool ended = process.waitForFinished(30000);
        if (!ended)
            process.kill();
        ASSERT_TRUE(ended) << row.err;
        EXPECT_EQ(process.exitCode(), 2);
        EXPECT_EQ(process.readAllStandardError().toStdString(), row.err);
    }
}

TEST(CliProgram, RunsWithTheDeviceFileBesideIt) {
    QProcess process;
    process.start(QStringLiteral(TESSALINE_CLI_PATH), {QStringLiteral("models")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().startsWith("1 18F452 32768 256\n"));
}
