// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_serial_port.hpp"
#include "buffer/hex_text.hpp"
#include "buffer/hex_writer.hpp"
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/sim_rig.hpp"
#include "tests/support/window_fixture.hpp"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <random>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// The model's record of the shipped device file, as the selected model.
SelectedModelValues shippedModel(const std::string& name) {
    SelectedModelValues values;
    for (const DeviceModel& record : shippedDevices())
        if (record.model == name)
            ApplySelectedModel(record, values);
    return values;
}

// A program with FLASH at both ends, EEPROM and the model's erased configuration.
std::string writeProgram(TempFolder& folder, const SelectedModelValues& model) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    for (std::uint8_t i = 0; i < 16; ++i)
        buffer.Flash[i] = i;
    buffer.Flash[0x1000] = 0xAB;
    buffer.Flash[0x1001] = 0xCD;
    const std::uint8_t eeprom[] = {0xDE, 0xAD, 0xBE, 0xEF};
    for (std::size_t i = 0; i < buffer.Eeprom.size() && i < 4; ++i)
        buffer.Eeprom[i] = eeprom[i];
    folder.write("prog.hex", writeHexText(buffer));
    return folder.file("prog.hex");
}

// A program that fills the whole part, configuration bytes that protect nothing.
ProgramBuffer fullImage(const SelectedModelValues& model, unsigned seed) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    fillMemories(buffer, seed);
    return buffer;
}

class FamilyThroughPty : public ::testing::TestWithParam<const char*> {};

} // namespace

// One model of each family, each operation of the command-line tool, through the
// simulator on a pseudo-terminal; the strict chip sees no violation.
TEST_P(FamilyThroughPty, CommandLineProgramsVerifiesReadsErases) {
    const std::string name = GetParam();
    TempFolder folder;
    const std::string program = writeProgram(folder, shippedModel(name));
    UnitSimulator unit({QStringLiteral("--chip"), QString::fromStdString(name)});
    ASSERT_FALSE(unit.device().isEmpty());
    const QStringList common{QStringLiteral("--model"), QString::fromStdString(name),
                             QStringLiteral("--port"), unit.device()};

    // The load report comes first; the read-back after programming says what it is, and
    // the configuration bytes count as one item, written and then read back.
    CliResult programmed = cli(common + QStringList{"program", QString::fromStdString(program)});
    EXPECT_EQ(programmed.status, 0) << programmed.out << programmed.err;
    EXPECT_EQ(programmed.err, "");
    EXPECT_EQ(programmed.out.rfind("Operation completed.\nTotal 4098 (4.00K) program bytes "
                                   "loaded.\nBegin program all\nFLASH 0% F:1/4098\n",
                                   0),
              0u)
        << programmed.out;
    EXPECT_NE(programmed.out.find("\nVerify after programming: FLASH 0% F:1/4098\n"),
              std::string::npos);
    EXPECT_TRUE(programmed.out.ends_with("\nConfiguration bytes 14/14\nVerify after "
                                         "programming: Configuration bytes 14/14\nChip "
                                         "programmed\n"))
        << programmed.out;

    CliResult verified = cli(common + QStringList{"verify", QString::fromStdString(program)});
    EXPECT_EQ(verified.status, 0) << verified.out;
    EXPECT_NE(verified.out.find("Chip verified"), std::string::npos);

    const QString readBack = QString::fromStdString(folder.file("read.hex"));
    CliResult read = cli(common + QStringList{"read", readBack});
    EXPECT_EQ(read.status, 0) << read.out << read.err;
    EXPECT_EQ(folder.read("read.hex"), folder.read("prog.hex"));

    folder.write("other.hex", ":0100000012ED\r\n");
    CliResult mismatch =
        cli(common + QStringList{"verify", QString::fromStdString(folder.file("other.hex"))});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_EQ(mismatch.err.rfind("Verify failed at address 000000h!\nThe value read from that "
                                 "address is 00h.\nThe value expected is 12h.",
                                 0),
              0u)
        << mismatch.err;
    EXPECT_TRUE(mismatch.err.ends_with("\nChip verify failed\n")) << mismatch.err;
    EXPECT_EQ(mismatch.out.find("failed"), std::string::npos) << mismatch.out;

    EXPECT_EQ(cli(common + QStringList{"blank"}).status, 1);
    EXPECT_EQ(cli(common + QStringList{"erase"}).status, 0);
    const QString trace = QString::fromStdString(folder.file("blank.trace"));
    CliResult blank = cli(common + QStringList{"--trace", trace, "blank"});
    EXPECT_EQ(blank.status, 0);
    EXPECT_NE(blank.out.find("Chip is blank"), std::string::npos);
    // The trace holds the whole operation, a line a byte, from power-up to power-down.
    const std::string lines = folder.read("blank.trace");
    EXPECT_EQ(lines.rfind("# tessaline-cli blank: ", 0), 0u) << lines.substr(0, 200);
    EXPECT_NE(lines.find("-> 65  begin, VDD before VPP           begin\n"), std::string::npos);
    EXPECT_NE(lines.find("<- FF  data byte of read byte          checkblankflash=s09\n"),
              std::string::npos);
    EXPECT_NE(lines.find("-> 67  end                             end\n"), std::string::npos);
    EXPECT_TRUE(lines.ends_with("<- 00  reply to end                    end\n"))
        << lines.substr(lines.size() - 200);

    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find(" 0 violations"), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(OneModelEach, FamilyThroughPty,
                         ::testing::Values("18F452", "18F2320", "18F2520"));

// Every shipped model with a full-size image through the pseudo-terminal: erase, blank
// check, program, verify, read back, and a changed byte found. It takes a long while, so
// it runs only when asked for.
TEST(EndToEnd, EveryShippedModelWithAFullImageThroughThePseudoTerminal) {
    if (qEnvironmentVariableIsEmpty("TESSALINE_PTY_ALL_MODELS"))
        GTEST_SKIP() << "set TESSALINE_PTY_ALL_MODELS=1 to run every model through the "
                        "pseudo-terminal";
    for (const DeviceModel& record : shippedDevices()) {
        SCOPED_TRACE(record.model);
        const SelectedModelValues model = shippedModel(record.model);
        TempFolder folder;
        ProgramBuffer image = fullImage(model, 5);
        folder.write("full.hex", writeHexText(image));
        const QString full = QString::fromStdString(folder.file("full.hex"));
        const QStringList common{QStringLiteral("--model"), QString::fromStdString(record.model),
                                 QStringLiteral("--port")};
        {
            UnitSimulator unit({QStringLiteral("--chip"), QString::fromStdString(record.model)});
            const QStringList at = common + QStringList{unit.device()};
            EXPECT_EQ(cli(at + QStringList{"erase"}).status, 0);
            EXPECT_EQ(cli(at + QStringList{"blank"}, 600000).status, 0);
            EXPECT_EQ(cli(at + QStringList{"program", full}, 600000).status, 0);
            EXPECT_EQ(cli(at + QStringList{"verify", full}, 600000).status, 0);
            const QString readBack = QString::fromStdString(folder.file("read.hex"));
            EXPECT_EQ(cli(at + QStringList{"read", readBack}, 600000).status, 0);
            EXPECT_EQ(folder.read("read.hex"), folder.read("full.hex"));
            const auto [status, report] = unit.stop();
            EXPECT_EQ(status, 0) << report;
        }
        const std::size_t changed = image.Flash.size() / 3 + 1;
        image.Flash[changed] ^= 0x10;
        folder.write("changed.hex", writeHexText(image));
        UnitSimulator unit({QStringLiteral("--chip"), QString::fromStdString(record.model),
                            QStringLiteral("--load"),
                            QString::fromStdString(folder.file("changed.hex"))});
        CliResult mismatch = cli(common + QStringList{unit.device(), "verify", full}, 600000);
        EXPECT_EQ(mismatch.status, 1);
        EXPECT_NE(mismatch.err.find("Verify failed at address " +
                                    Hex6(static_cast<std::int32_t>(changed)) + "h!"),
                  std::string::npos)
            << mismatch.err;
        const auto [status, report] = unit.stop();
        EXPECT_EQ(status, 0) << report;
    }
}

TEST(EndToEnd, CommandLineReportsAMissingPortAndASilentUnit) {
    CliResult missing = cli({"--port", "/dev/tessaline-no-such-port", "erase"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.err, "tessaline-cli: cannot open the serial port: "
                           "/dev/tessaline-no-such-port does not exist\n");

    UnitSimulator unit({QStringLiteral("--mute-after"), QStringLiteral("20")});
    CliResult silent = cli({"--model", "18F452", "--port", unit.device(), "blank"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_EQ(silent.err, "Blank check failed\nThe programmer unit does not answer.\nThe "
                          "operation was stopped.\n");
    EXPECT_EQ(silent.out.find("failed"), std::string::npos) << silent.out;
}

// A unit that goes away under an operation (its adapter pulled out) is named as such.
TEST(EndToEnd, CommandLineNamesAUnitThatGoesAway) {
    TempFolder folder;
    UnitSimulator unit({QStringLiteral("--reply-delay"), QStringLiteral("20"), "--link",
                        QString::fromStdString(folder.file("unit"))});
    QProcess process;
    process.start(
        QStringLiteral(TESSALINE_CLI_PATH),
        {"--model", "18F452", "--port", QString::fromStdString(folder.file("unit")), "blank"});
    QByteArray out;
    while (!out.contains("FLASH") && process.waitForReadyRead(30000))
        out += process.readAllStandardOutput();
    unit.stop();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 3);
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(err, "Blank check failed\nThe serial port failed: " + folder.file("unit") +
                       " has gone away (an adapter pulled out, or the program behind it "
                       "ended)\nThe operation was stopped.\n");
}

// A wrong chip, and no chip at all, stop every operation before anything is written;
// the tool exits 4 and names what it found.
TEST(EndToEnd, CommandLineRefusesAWrongChipAndAnEmptySocket) {
    TempFolder folder;
    const std::string program = writeProgram(folder, shippedModel("18F4520"));
    UnitSimulator wrong({QStringLiteral("--chip"), QStringLiteral("18F452")});
    CliResult refused = cli({"--model", "18F4520", "--port", wrong.device(), "program",
                             QString::fromStdString(program)});
    EXPECT_EQ(refused.status, 4) << refused.out << refused.err;
    EXPECT_EQ(refused.err, "Program all failed\nThe chip in the socket reports device ID 0420h "
                           "(revision 3): it is a 18F452, not the selected 18F4520. Nothing was "
                           "written.\n");
    // Identify prints its one result; a chip that the device file does not know shows its
    // ID as the refusal does.
    CliResult found = cli({"--model", "18F4520", "--port", wrong.device(), "identify"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out, "Begin identify chip\n18F452\n");
    folder.write("one.cfg", shippedRecordText("18F4520"));
    const QStringList oneModel{"--devices", QString::fromStdString(folder.file("one.cfg")),
                               "--port", wrong.device()};
    CliResult unknown = cli(oneModel + QStringList{"identify"});
    EXPECT_EQ(unknown.out, "Begin identify chip\n0420h (revision 3)\n");
    EXPECT_NE(cli(oneModel + QStringList{"erase"})
                  .err.find("reports device ID 0420h (revision 3), not the selected 18F4520."),
              std::string::npos);
    EXPECT_EQ(wrong.stop().first, 0);

    UnitSimulator empty({QStringLiteral("--empty")});
    CliResult none = cli({"--model", "18F452", "--port", empty.device(), "erase"});
    EXPECT_EQ(none.status, 4);
    EXPECT_NE(none.err.find("No chip answers in the socket"), std::string::npos) << none.err;
    CliResult noneFound = cli({"--model", "18F452", "--port", empty.device(), "identify"});
    EXPECT_EQ(noneFound.status, 4);
    EXPECT_EQ(noneFound.out, "Begin identify chip\n");
    EXPECT_EQ(noneFound.err, "No chip answers in the socket: its device ID reads 0000h.\n");
}

// SIGTERM, SIGINT and SIGHUP stop an operation where the chip is idle: the unit removes
// the voltages, the tool exits 128 + the signal, a read writes no file, and the next
// operation starts cleanly.
TEST(EndToEnd, ASignalStopsTheOperationAndPowersTheUnitDown) {
    TempFolder folder;
    const SelectedModelValues model = shippedModel("18F452");
    folder.write("full.hex", writeHexText(fullImage(model, 5)));
    UnitSimulator unit({QStringLiteral("--baud"), QStringLiteral("56000")});
    const QString full = QString::fromStdString(folder.file("full.hex"));
    const QString read = QString::fromStdString(folder.file("read.hex"));
    // An erase has no point where the chip could be left: a signal during its ID check
    // stops it, a later one lets it run to its end, and the tool ends as stopped either way.
    const struct {
        QStringList command;
        const char* stopAfter;
        int signal;
        const char* stopped;
    } rows[] = {{{"program", full}, "FLASH", SIGTERM, "Program all stopped"},
                {{"erase"}, "Begin erase all", SIGTERM, "Erase all stopped|Chip erased"},
                {{"blank"}, "FLASH", SIGHUP, "Blank check stopped"},
                {{"read", read}, "FLASH", SIGINT, "Read all stopped"}};
    for (const auto& row : rows) {
        if (row.command.front() == "blank") {
            ASSERT_EQ(cli({"--model", "18F452", "--port", unit.device(), "erase"}).status, 0);
        }
        QProcess process;
        // The stop's text is a failure's, on standard error.
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TESSALINE_CLI_PATH),
                      QStringList{"--model", "18F452", "--port", unit.device()} + row.command);
        QByteArray out;
        while (!out.contains(row.stopAfter) && process.waitForReadyRead(30000))
            out += process.readAllStandardOutput();
        ::kill(static_cast<pid_t>(process.processId()), row.signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        out += process.readAllStandardOutput();
        EXPECT_EQ(process.exitCode(), 128 + row.signal) << out.toStdString();
        EXPECT_TRUE(QString::fromLatin1(out).contains(QRegularExpression(row.stopped)))
            << out.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder.file("read.hex"))));
    EXPECT_EQ(cli({"--model", "18F452", "--port", unit.device(), "erase"}).status, 0);
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
}

// While the unit starts (the start-up delay after the port opens), SIGINT, SIGTERM and
// SIGHUP end the tool at once with 128 + the signal; nothing reached the unit.
TEST(EndToEnd, ASignalDuringTheUnitsStartUpEndsTheToolAtOnce) {
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F452")});
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QProcess process;
        process.start(
            QStringLiteral(TESSALINE_CLI_PATH),
            {"--model", "18F452", "--port", unit.device(), "--unit-delay", "10000", "erase"});
        QByteArray out;
        while (!out.contains("\n") && process.waitForReadyRead(30000))
            out += process.readAllStandardOutput();
        EXPECT_EQ(out.toStdString(), "Waiting 10000 ms for the programmer unit to start\n");
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(5000)) << "the tool slept through signal " << signal;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + signal);
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
    }
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find(" 0 commands"), std::string::npos) << report;
}

// gputils writes every configuration byte with its unimplemented bits set, and these
// programs code-protect blocks: each programs, verifies after programming and verifies
// again on its own. The 64 KiB one takes a while, so it runs only when asked for.
TEST(EndToEnd, ToolchainFilesWithFullConfigurationProgramAndVerify) {
    const bool all = !qEnvironmentVariableIsEmpty("TESSALINE_PTY_ALL_MODELS");
    for (const char* name : {"18F452", "18F4620"}) {
        if (!all && std::string(name) == "18F4620")
            continue;
        const QString hex = QStringLiteral(TESSALINE_TOOLCHAIN_DIR "/p%1.hex")
                                .arg(QString::fromLatin1(name).toLower());
        UnitSimulator unit({QStringLiteral("--chip"), QString::fromLatin1(name)});
        const QStringList common{"--model", QString::fromLatin1(name), "--port", unit.device()};
        CliResult programmed = cli(common + QStringList{"program", hex});
        EXPECT_EQ(programmed.status, 0) << name << programmed.out << programmed.err;
        EXPECT_NE(programmed.out.find("Chip programmed"), std::string::npos) << programmed.out;
        CliResult verified = cli(common + QStringList{"verify", hex});
        EXPECT_EQ(verified.status, 0) << name << verified.out;
        const auto [status, report] = unit.stop();
        EXPECT_EQ(status, 0) << report;
    }
}

// With stray bytes on the link, Program All, Verify and Read All may fail, but never
// end in success with a wrong result.
TEST(EndToEnd, ANoisyLinkNeverEndsInAWrongSuccess) {
    TempFolder folder;
    SelectedModelValues model = shippedModel("18F1220");
    ProgramBuffer image;
    ResetBuffer(image, model.FlashSize, model.EepromSize, model.ConfigErased);
    for (std::uint8_t i = 0; i < 64; ++i)
        image.Flash[i] = static_cast<std::uint8_t>(i * 3 + 1);
    folder.write("image.hex", writeHexText(image));
    const QString file = QString::fromStdString(folder.file("image.hex"));
    int successes = 0;
    const int runs = qEnvironmentVariableIsEmpty("TESSALINE_NOISE_RUNS")
                         ? 8
                         : qEnvironmentVariableIntValue("TESSALINE_NOISE_RUNS");
    for (int seed = 1; seed <= runs; ++seed) {
        SCOPED_TRACE(seed);
        const QString chip = QString::fromStdString(folder.file("chip.hex"));
        UnitSimulator unit(
            {"--chip", "18F1220", "--noise", "--seed", QString::number(seed), "--save", chip});
        const QStringList common{"--model", "18F1220", "--port", unit.device()};
        const int programmed = cli(common + QStringList{"program", file}).status;
        const int verified = cli(common + QStringList{"verify", file}).status;
        const QString readBack = QString::fromStdString(folder.file("read.hex"));
        QFile::remove(readBack);
        const int read = cli(common + QStringList{"read", readBack}).status;
        // The operations end where the documents allow: the chip saw nothing else.
        const auto [unitStatus, report] = unit.stop();
        EXPECT_EQ(unitStatus, 0) << report;
        const std::string onChip = folder.read("chip.hex");
        const bool chipHoldsImage = onChip == folder.read("image.hex");
        // A failed program leaves a chip that verify rightly finds different (1).
        for (const int status : {programmed, verified, read})
            EXPECT_TRUE(status == 0 || status == 1 || status == 3) << status;
        if (programmed == 0 || verified == 0) {
            EXPECT_TRUE(chipHoldsImage);
        }
        if (read == 0) {
            EXPECT_EQ(folder.read("read.hex"), onChip);
        } else {
            EXPECT_FALSE(QFile::exists(readBack));
        }
        successes += (programmed == 0) + (verified == 0) + (read == 0);
    }
    EXPECT_GT(successes, 0); // the noise is rare enough that some runs get through
}

// A script's own wait is no silence of the unit, however long it is.
TEST(EndToEnd, AWaitLongerThanTheReplyTimeOutIsNoSilence) {
    TempFolder folder;
    folder.write("devices.cfg", "model:18F452\r\nflash:32768\r\neeprom:256\r\n"
                                "voltageseq:vddvpp\r\nerase:begin,w2600,end\r\n");
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F452")});
    CliResult erased = cli({"--devices", QString::fromStdString(folder.file("devices.cfg")),
                            "--port", unit.device(), "erase"});
    EXPECT_EQ(erased.status, 0) << erased.out << erased.err;
    EXPECT_NE(erased.out.find("Chip erased"), std::string::npos) << erased.out;
}

TEST(EndToEnd, WindowProgramsAndVerifiesThroughThePortNumberLink) {
    WindowFixture fixture(shippedRecordText("18F1320"));
    // Port 2 maps to the link com2 in the settings folder.
    UnitSimulator unit(
        {QStringLiteral("--chip"), QStringLiteral("18F1320"), QStringLiteral("--link"),
         QString::fromStdString(fixture.folder.file("com2")), QStringLiteral("--save"),
         QString::fromStdString(fixture.folder.file("chip.hex"))});
    ASSERT_FALSE(unit.device().isEmpty());
    QtSerialPort port(QString::fromStdString(fixture.folder.path()));
    WindowControls& form = fixture.load(&port);
    ASSERT_TRUE(fixture.state.app.PortReady) << port.description();
    fixture.folder.write("p.hex", ":0400000012345678E8\r\n:0200000400F00A\r\n:01000100AA54\r\n");
    fixture.dialogs.answers = {fixture.folder.file("p.hex")};
    form.menuopen->trigger();
    form.Command1->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(form.label_status->text().toStdString(), "Chip programmed");
    form.Command5->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(form.label_status->text().toStdString(), "Chip verified");
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
    const std::string chip = fixture.folder.read("chip.hex");
    EXPECT_NE(chip.find(":0400000012345678E8"), std::string::npos) << chip;
}

// A unit whose program ends while the window is idle, and another started on the same
// link: the status line says that the port has gone, and the next operation opens it
// afresh and works.
TEST(EndToEnd, WindowOpensThePortAfreshForAUnitStartedAgain) {
    WindowFixture fixture(shippedRecordText("18F452"));
    const QString link = QString::fromStdString(fixture.folder.file("com2"));
    const QStringList options{QStringLiteral("--chip"), QStringLiteral("18F452"),
                              QStringLiteral("--link"), link};
    auto unit = std::make_unique<UnitSimulator>(options);
    QtSerialPort port(QString::fromStdString(fixture.folder.path()));
    WindowControls& form = fixture.load(&port);
    ASSERT_TRUE(fixture.state.app.PortReady) << port.description();
    unit->stop();
    const auto status = [&form] { return form.label_status->text().toStdString(); };
    ASSERT_TRUE(runUntil([&] { return status() != "Serial port 2 ready"; }, 10000));
    EXPECT_EQ(status(), "Serial port 2 error! " + link.toStdString() +
                            " has gone away (an adapter pulled out, or the program behind it "
                            "ended)");
    unit = std::make_unique<UnitSimulator>(options);
    ASSERT_FALSE(unit->device().isEmpty());
    form.Command3->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(status(), "Chip erased");
    EXPECT_EQ(fixture.dialogs.messages(), std::vector<std::string>{});
    EXPECT_EQ(unit->stop().first, 0);
}

// The simulator as a judge of the program that drives it: one that dies with the chip
// powered leaves it so, and the report says so (unless the run allows it); the next
// program powers the unit down before anything else, so the chip sees a clean start.
TEST(EndToEnd, AKilledProgramLeavesTheChipPoweredAndTheNextStartsClean) {
    TempFolder folder;
    const std::string program = writeProgram(folder, shippedModel("18F4520"));
    const struct {
        bool allowPowered;
        bool nextProgram;
    } rows[] = {{false, false}, {true, false}, {false, true}};
    for (const auto& row : rows) {
        QStringList options{"--chip", "18F4520", "--reply-delay", "1"};
        if (row.allowPowered)
            options << "--allow-powered";
        UnitSimulator unit(options);
        const QStringList common{"--model", "18F4520", "--port", unit.device()};
        QProcess killed;
        killed.start(QStringLiteral(TESSALINE_CLI_PATH),
                     common + QStringList{"program", QString::fromStdString(program)});
        QByteArray out;
        while (!out.contains("FLASH") && killed.waitForReadyRead(30000))
            out += killed.readAllStandardOutput();
        killed.kill();
        ASSERT_TRUE(killed.waitForFinished(30000));
        if (row.nextProgram) {
            const CliResult again = cli(common + QStringList{"erase"});
            EXPECT_EQ(again.status, 0) << again.out << again.err;
        }
        const auto [status, report] = unit.stop();
        const bool leftPowered =
            report.find("violation: left powered: voltages still applied when the program "
                        "ended") != std::string::npos;
        EXPECT_EQ(leftPowered, !row.allowPowered && !row.nextProgram) << report;
        if (!row.nextProgram) {
            EXPECT_EQ(status, row.allowPowered ? 0 : 1) << report;
        }
        EXPECT_EQ(report.find("applied again"), std::string::npos) << report;
    }
}

// The simulator catches its signals before it prints the terminal's path: stopped as
// soon as the path is read, it still reports and saves.
TEST(EndToEnd, TheSimulatorStoppedAtOnceStillReportsAndSaves) {
    for (int run = 0; run < 10; ++run) {
        TempFolder folder;
        UnitSimulator unit({"--save", QString::fromStdString(folder.file("chip.hex"))});
        ASSERT_FALSE(unit.device().isEmpty());
        const auto [status, report] = unit.stop();
        EXPECT_EQ(status, 0) << report;
        EXPECT_NE(report.find("0 commands, 0 violations"), std::string::npos) << report;
        EXPECT_TRUE(QFile::exists(QString::fromStdString(folder.file("chip.hex"))));
    }
}

// An option with an empty value is refused by name rather than standing for its default,
// and a chip image that the disk does not take to its end is reported.
TEST(EndToEnd, TheSimulatorRefusesEmptyValuesAndReportsALostSave) {
    for (const char* option :
         {"--chip", "--load", "--save", "--link", "--baud", "--reply-delay", "--seed"}) {
        QProcess unit;
        unit.start(QStringLiteral(TESSALINE_UNITSIM_PATH), {QString::fromLatin1(option), ""});
        ASSERT_TRUE(unit.waitForFinished(10000)) << option;
        EXPECT_EQ(unit.exitCode(), 2) << option;
        EXPECT_TRUE(unit.readAllStandardOutput().isEmpty()) << option;
        EXPECT_TRUE(unit.readAllStandardError().startsWith(
            "tessaline-unitsim: " + QByteArray(option) + " has an empty value\n"))
            << option;
    }
    UnitSimulator unit({"--save", "/dev/full"});
    ASSERT_FALSE(unit.device().isEmpty());
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 2) << report;
    EXPECT_NE(report.find("tessaline-unitsim: cannot write /dev/full\n"), std::string::npos)
        << report;
}

// A read that the model's record refuses reads nothing: the file it was to write keeps
// what it held. A size or time with a typo after its digits is such a fault: read by its
// leading number, "16k" would make a model of 16 bytes.
TEST(EndToEnd, ARefusedReadWritesNoFile) {
    TempFolder folder;
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F452")});
    const std::string devices = folder.file("devices.cfg");
    const struct {
        const char* keys;
        std::string error;
    } rows[] = {
        {"flash:64\r\nvoltageseq:vddvpp\r\nread:begin,bogus,end\r\n",
         devices + ":4: 18F452: Unrecognized symbolic instruction 'bogus'."},
        {"flash:16k\r\nvoltageseq:vddvpp\r\nread:begin,end\r\n",
         devices + ":2: The flash value '16k' is not a number of bytes in decimal digits (32768)."},
        {"flash:64 \r\neeprom:256 bytes\r\nread:begin,end\r\n",
         devices + ":3: The eeprom value '256 bytes' is not a number of bytes in decimal digits "
                   "(256)."},
        {"flash: 64\r\nprogtime:2.5\r\nread:begin,end\r\n",
         devices + ":3: The progtime value '2.5' is not a number of milliseconds in decimal "
                   "digits (2)."},
    };
    for (const auto& row : rows) {
        folder.write("devices.cfg", "model:18F452\r\n" + std::string(row.keys));
        folder.write("chip.hex", "kept\n");
        const CliResult read =
            cli({"--devices", QString::fromStdString(devices), "--port", unit.device(), "read",
                 QString::fromStdString(folder.file("chip.hex"))});
        EXPECT_EQ(read.status, 1) << read.err;
        EXPECT_NE(read.err.find(row.error + "\nThe operation was not started."), std::string::npos)
            << read.err;
        EXPECT_EQ(folder.read("chip.hex"), "kept\n");
    }
}
