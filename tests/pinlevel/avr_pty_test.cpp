// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool against the unit's firmware running in tessaline-unitsim
// --firmware on a real pseudo-terminal, in real time; and the options that make no sense
// with firmware.
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/temp_folder.hpp"

#include <QProcess>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace tessaline::test;

// Behind an FTDI cable with its latency timer at 1 ms.
TEST(FirmwareThroughPty, IdentifyProgramAndVerifyTheBlinkExample) {
    TempFolder folder;
    UnitSimulator unit({QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                        QStringLiteral("--chip"), QStringLiteral("18F452"), QStringLiteral("--vcd"),
                        QString::fromStdString(folder.file("icsp.vcd")),
                        QStringLiteral("--adapter"), QStringLiteral("ftdi1")});
    ASSERT_FALSE(unit.device().isEmpty());
    const QString blink = QStringLiteral(TESSALINE_SOURCE_DIR "/examples/blink-18f452.hex");
    const QStringList port{QStringLiteral("--port"), unit.device()};

    const QStringList model = port + QStringList{"--model", "18F452"};
    // A unit that does not reset as its port opens only makes the start-up delay wait.
    const CliResult identified = cli(model + QStringList{"--unit-delay", "50", "identify"});
    EXPECT_EQ(identified.status, 0) << identified.out << identified.err;
    EXPECT_NE(identified.out.find("18F452"), std::string::npos) << identified.out;
    const CliResult programmed = cli(model + QStringList{"program", blink});
    EXPECT_EQ(programmed.status, 0) << programmed.out << programmed.err;
    EXPECT_NE(programmed.out.find("Chip programmed"), std::string::npos);
    const CliResult verified = cli(model + QStringList{"verify", blink});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("Chip verified"), std::string::npos);
    // Another model selected: the ID check stops it before anything is written.
    const CliResult wrong = cli(port + QStringList{"--model", "18F4520", "verify", blink});
    EXPECT_EQ(wrong.status, 4) << wrong.out << wrong.err;

    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find(" 0 violations, "), std::string::npos) << report;
    EXPECT_NE(report.find(" s of simulated time\n"), std::string::npos) << report;
    // The lines for a waveform viewer: the header, then every change.
    const std::string vcd = folder.read("icsp.vcd");
    EXPECT_NE(vcd.find("$var wire 1 c PGC $end"), std::string::npos);
    EXPECT_NE(vcd.find("\n1c\n"), std::string::npos) << "PGC rose";
    EXPECT_NE(vcd.find("\nb11 m\n"), std::string::npos) << "MCLR at VPP";
}

// A data word's command byte lost on the line before its operand 67 00 (67h is 103): the
// unit takes 67h for the end command and falls silent at 00h. The program, which reads
// no reply's value, times out; with verify off it must still not report success. Where
// the data word goes is found in a trace against the transfer-level unit.
TEST(FirmwareThroughPty, ADataWordLostBeforeItsOperand6700EndsInAFailure) {
    TempFolder folder;
    folder.write("word.hex", ":04000000670012344F\r\n:00000001FF\r\n");
    const QStringList program{"--model", "18F452", "--no-verify", "program",
                              QString::fromStdString(folder.file("word.hex"))};
    int dataWord = 0;
    {
        UnitSimulator plain({QStringLiteral("--chip"), QStringLiteral("18F452")});
        const QString trace = QString::fromStdString(folder.file("trace.txt"));
        ASSERT_EQ(cli(QStringList{"--port", plain.device(), "--trace", trace} + program).status, 0);
        std::istringstream lines(folder.read("trace.txt"));
        std::vector<std::string> sent;
        for (std::string line; std::getline(lines, line);)
            if (line[0] != '#' && line.find("-> ") != std::string::npos)
                sent.push_back(line.substr(line.find("-> ") + 3, 2));
        for (std::size_t i = 0; i + 2 < sent.size() && dataWord == 0; ++i)
            if (sent[i] == "6C" && sent[i + 1] == "67" && sent[i + 2] == "00")
                dataWord = static_cast<int>(i) + 1;
        ASSERT_GT(dataWord, 0);
    }
    UnitSimulator unit({QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                        QStringLiteral("--drop-byte"), QString::number(dataWord)});
    const CliResult dropped = cli(QStringList{"--port", unit.device()} + program);
    EXPECT_NE(dropped.status, 0) << dropped.out << dropped.err;
    EXPECT_EQ(dropped.out.find("Chip programmed"), std::string::npos) << dropped.out;
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
}

// Options that make no sense with firmware, an empty value and a file that is not an
// AVR program all exit 2 with the reason, before the terminal's path is printed; none
// crashes the simulator.
TEST(FirmwareThroughPty, OptionsOfTheSimulatedUnitAndForeignProgramsAreRefused) {
    TempFolder folder;
    folder.write("cut.elf", std::string("\x7f"
                                        "ELF\x01\x01\x01",
                                        7));
    const QString elf = QStringLiteral(TESSALINE_FIRMWARE_ELF);
    const QString blink = QStringLiteral(TESSALINE_SOURCE_DIR "/examples/blink-18f452.hex");
    const struct {
        QStringList arguments;
        const char* error;
    } rows[] = {
        {{"--firmware", elf, "--baud", "1"}, "makes no sense with --firmware"},
        {{"--firmware", elf, "--reply-delay", "1"}, "makes no sense with --firmware"},
        {{"--firmware", elf, "--mute-after", "1"}, "makes no sense with --firmware"},
        {{"--firmware", elf, "--reference"}, "the firmware is always a reference unit"},
        {{"--vdd-volts", "4.4"}, "--vdd-volts needs --reference or --firmware"},
        {{"--drop-byte", "3"}, "--drop-byte needs --reference or --firmware"},
        {{"--reference", "--mclr-jumper", "12v"}, "--mclr-jumper takes boost or 5v, not 12v"},
        {{"--firmware", elf, "--vpp-volts", "-1"}, "--vpp-volts needs volts from 0 to 30"},
        {{"--firmware", "/bin/true"}, "/bin/true is not an AVR program"},
        {{"--firmware", blink}, "blink-18f452.hex is not an AVR program"},
        {{"--firmware", QString::fromStdString(folder.file("cut.elf"))}, "not an AVR program"},
        {{"--firmware", QString::fromStdString(folder.path())}, "not an AVR program"},
        {{"--firmware", QString::fromStdString(folder.file("none.elf"))}, "cannot read"},
        {{"--firmware", ""}, "tessaline-unitsim: --firmware has an empty value\n"},
        {{"--firmware", elf, "--vcd", ""}, "tessaline-unitsim: --vcd has an empty value\n"},
        {{"--firmware", elf, "--save", ""}, "tessaline-unitsim: --save has an empty value\n"},
        {{"--firmware", elf, "--chip", ""}, "tessaline-unitsim: --chip has an empty value\n"},
    };
    for (const auto& row : rows) {
        const std::string name = row.arguments.join(' ').toStdString();
        QProcess unit;
        unit.start(QStringLiteral(TESSALINE_UNITSIM_PATH), row.arguments);
        ASSERT_TRUE(unit.waitForFinished(10000)) << name;
        EXPECT_EQ(unit.exitStatus(), QProcess::NormalExit) << name;
        EXPECT_EQ(unit.exitCode(), 2) << name;
        EXPECT_TRUE(unit.readAllStandardOutput().isEmpty()) << name;
        const std::string err = unit.readAllStandardError().toStdString();
        EXPECT_NE(err.find(row.error), std::string::npos) << name << ": " << err;
    }
}

// A waveform or chip image that the disk does not take to its end is reported, and a lost
// waveform fails the run.
TEST(FirmwareThroughPty, AFileThatCannotBeWrittenIsReported) {
    const struct {
        const char* option;
        int status;
    } rows[] = {{"--vcd", 1}, {"--save", 2}};
    for (const auto& row : rows) {
        UnitSimulator unit({QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                            QString::fromLatin1(row.option), QStringLiteral("/dev/full")});
        ASSERT_FALSE(unit.device().isEmpty()) << row.option;
        const CliResult identified =
            cli({"--port", unit.device(), "--model", "18F452", "identify"});
        EXPECT_EQ(identified.status, 0) << identified.err;
        const auto [status, report] = unit.stop();
        EXPECT_EQ(status, row.status) << row.option << report;
        EXPECT_NE(report.find("tessaline-unitsim: cannot write /dev/full"), std::string::npos)
            << row.option << report;
        EXPECT_NE(report.find(" 0 violations"), std::string::npos) << report;
    }
}
