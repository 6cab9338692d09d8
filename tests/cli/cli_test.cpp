#include "cli/cli_app.hpp"

#include "app/settings_store.hpp"
#include "tessaline_version.hpp"
#include "tests/support/file_size_limit.hpp"
#include "tests/support/temp_folder.hpp"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace tessaline;

namespace {

const char* const kDevices = "model:18f452\r\nflash:64\r\neeprom:16\r\n"
                             "configerased:00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40\r\n"
                             "model:18F2520LongName\r\nflash:128\r\neeprom:0\r\n";

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
    EXPECT_EQ(bad.out, "Input program file in Intel Hex Format contains errors.\n"
                       "Line number 3: Address out of range.\n");
    CliRun missing = run({"check", folder.file("missing.hex")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot read " + folder.file("missing.hex")), std::string::npos);
}

// An empty file, or one cut off before its end-of-file record, would erase the chip for
// nothing or program part of a program: program refuses both before the port is opened,
// while check keeps its report.
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
        EXPECT_EQ(run({"check", folder.file(row.file)}).status, 0) << row.file;
    }
}

TEST_F(CliTest, ModelIsChosenByNameNumberOrSettings) {
    // 128 bytes of FLASH only in model 2: data at 64 loads there and nowhere else.
    folder.write("high.hex", ":01004000AA15\r\n");
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

TEST_F(CliTest, ReadOnlyCommandsLeaveTheSettingsStoreUntouched) {
    folder.write("in.hex", ":0100000012ED\r\n");
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

// What the tool read must have a place to go before the chip is touched, and a disk that
// fills up is named as such.
TEST_F(CliTest, UnwritableOutputIsNamedWithTheSystemsReason) {
    const std::string nowhere = folder.file("no/such/folder/chip.hex");
    const CliRun read = run({"--port", folder.file("no-such-port"), "read", nowhere});
    EXPECT_EQ(read.status, 2);
    EXPECT_EQ(read.out, "");
    EXPECT_EQ(read.err, "tessaline-cli: cannot write " + nowhere + ": No such file or directory\n");

    folder.write("in.hex", ":10000000000102030405060708090A0B0C0D0E0F78\r\n");
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
    const CliRun result = run({"ports"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("port 3 = /dev/null (link " + link.toStdString() + ")\n"),
              std::string::npos)
        << result.out;
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
        const bool ended = process.waitForFinished(5000);
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
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().startsWith("1 18F452 32768 256\n"));
}
