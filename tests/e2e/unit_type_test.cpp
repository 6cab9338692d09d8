// SPDX-License-Identifier: GPL-3.0-or-later
// The unit type through the command-line tool and the simulated unit on a pseudo-terminal:
// the probe finds each unit and stores its type, a reference unit's refusal fails every
// operation with its reason, and a data word lost on the line never ends in success.
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/golden_trace.hpp"
#include "tests/support/temp_folder.hpp"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// The tool with settings of its own, in the folder's "config".
CliResult cliIn(const TempFolder& folder, const QStringList& arguments) {
    return cli(arguments, 60000, QString::fromStdString(folder.file("config")));
}

// The bytes of a trace file, sent (->) or received (<-).
std::vector<std::uint8_t> tracedBytes(const std::string& trace, const char* direction) {
    std::istringstream lines(trace);
    std::vector<std::uint8_t> bytes;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(std::string(direction) + " ");
        if (line[0] != '#' && at != std::string::npos)
            bytes.push_back(
                static_cast<std::uint8_t>(std::stoi(line.substr(at + 3, 2), nullptr, 16)));
    }
    return bytes;
}

} // namespace

// An original unit that answers other values than 00h (here a reference unit with a
// self-powered target, whose every reply carries that warning) gets the bytes of the
// golden traces, after the power-down of a port just opened: the tool takes the port's
// unit for an original one by default and by --unit.
TEST(UnitTypeThroughPty, AnOriginalUnitThatAnswersNonZeroGetsTheGoldenBytes) {
    TempFolder folder;
    UnitSimulator unit({QStringLiteral("--reference"), QStringLiteral("--chip"),
                        QStringLiteral("18F2320"), QStringLiteral("--target-powered")});
    const std::pair<const char*, bool> steps[] = {
        {"identify", false}, {"erase", true}, {"blank", false}};
    for (const auto& [step, byOption] : steps) {
        const QString trace = QString::fromStdString(folder.file(std::string(step) + ".trace"));
        QStringList arguments{"--model",
                              "18F2320",
                              "--port",
                              unit.device(),
                              "--trace",
                              trace,
                              QString::fromLatin1(step)};
        if (byOption)
            arguments = QStringList{"--unit", "original"} + arguments;
        const CliResult result = cliIn(folder, arguments);
        EXPECT_EQ(result.status, 0) << step << result.err;
        const std::string lines = folder.read(std::string(step) + ".trace");
        const std::vector<std::uint8_t> received = tracedBytes(lines, "<-");
        EXPECT_NE(std::count(received.begin(), received.end(), kStatusSelfPowered), 0) << step;
        std::vector<std::uint8_t> sent = tracedBytes(lines, "->");
        ASSERT_FALSE(sent.empty()) << step;
        EXPECT_EQ(sent.front(), kCmdEnd) << step;
        sent.erase(sent.begin());
        EXPECT_EQ(goldenTraceText(sent), goldenTrace("18F2320", step)) << step;
    }
    EXPECT_EQ(unit.stop().first, 0);
}

// Detect answers for the unit on the port and stores the type under the port's device,
// which unit-report and calibrate then take.
TEST(UnitTypeThroughPty, DetectFindsEachUnitAndTheReferenceUnitReportsItself) {
    TempFolder folder;
    UnitSimulator original({QStringLiteral("--chip"), QStringLiteral("18F452")});
    const CliResult plain = cliIn(folder, {"--port", original.device(), "detect"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "Begin detect unit\noriginal unit\n");
    const CliResult refused = cliIn(folder, {"--port", original.device(), "unit-report"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.substr(0, refused.err.find('\n')),
              "tessaline-cli: unit-report is for a reference unit only, and the unit type of " +
                  original.device().toStdString() +
                  " is original: run 'tessaline-cli --port P detect' first, or give --unit "
                  "reference");
    EXPECT_EQ(original.stop().first, 0);

    UnitSimulator reference({QStringLiteral("--reference"), QStringLiteral("--target-powered"),
                             QStringLiteral("--vdd-volts"), QStringLiteral("5.02")});
    const QStringList port{"--port", reference.device()};
    const CliResult found = cliIn(folder, port + QStringList{"detect"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "Begin detect unit\nreference unit, firmware 2\n");
    const CliResult calibrated = cliIn(folder, port + QStringList{"calibrate", "1100"});
    EXPECT_EQ(calibrated.status, 0) << calibrated.err;
    EXPECT_EQ(calibrated.out, "Begin calibration\nUnit calibrated\n");
    const CliResult report = cliIn(folder, port + QStringList{"unit-report"});
    EXPECT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(report.out, "Begin unit report\n"
                          "Firmware version: 2\n"
                          "Calibration: 1100 mV\n"
                          "VPP: 11.00 V\n"
                          "VDD: 5.02 V (the target has a supply of its own)\n"
                          "J3: open, high-voltage entry\n"
                          "J1: the boost module (VPP within 10.0 to 12.5 V)\n"
                          "Status: none\n");
    const auto [status, violations] = reference.stop();
    EXPECT_EQ(status, 0) << violations;
}

// Each refusal that the simulated reference unit can be made to give, on each of the five
// operations: the unit falls silent, the tool hears why from the end command's reply,
// exits 3 and shows no success.
TEST(UnitTypeThroughPty, EveryRefusalFailsItsOperationWithTheUnitsReason) {
    TempFolder folder;
    folder.write("p.hex", ":100000000102030405060708090A0B0C0D0E0F1068\r\n:00000001FF\r\n");
    const QString hex = QString::fromStdString(folder.file("p.hex"));
    const std::string refused = "The unit refused a command and ran nothing more.\n";
    const std::string stopped = "The operation was stopped.\n";
    const struct {
        QStringList unit;
        QStringList command;
        std::string failed;
        std::string reason;
    } rows[] = {
        {{"--vdd-volts", "4.4"},
         {"erase"},
         "Erase all failed\n",
         "The unit refused: the target's VDD outside 4.6 to 5.5 V.\n" + refused},
        {{"--vpp-volts", "13"},
         {"--no-verify", "program", hex},
         "Program all failed\n",
         "The unit refused: VPP outside 10.0 to 12.5 V (4.5 to 5.5 V for low-voltage entry).\n" +
             refused},
        {{"--mclr-jumper", "5v"},
         {"verify", hex},
         "Verify failed\n",
         "The unit refused: J1 and J3 disagree (J1 must feed about 5 V with J3 closed for "
         "low-voltage entry, 10.0 to 12.5 V with J3 open).\n" +
             refused},
        {{"--garble-byte", "2"},
         {"--no-fast", "blank"},
         "Blank check failed\n",
         "The unit lost or could not read a byte from the program (a receive error) and ran "
         "nothing more.\n"},
        // Fast mode: a byte of the first packet of the script garbled.
        {{"--garble-byte", "30"},
         {"blank"},
         "Blank check failed\n",
         "The link to the programmer unit failed in fast mode: a packet or its reply was lost, "
         "garbled or late.\n"},
        {{"--vdd-volts", "5.7"},
         {"read", QString::fromStdString(folder.file("read.hex"))},
         "Read all failed\n",
         "The unit refused: the target's VDD outside 4.6 to 5.5 V.\n" + refused},
    };
    for (const auto& row : rows) {
        UnitSimulator unit(QStringList{"--reference"} + row.unit);
        const CliResult result = cliIn(folder, QStringList{"--model", "18F452", "--unit",
                                                           "reference", "--port", unit.device()} +
                                                   row.command);
        EXPECT_EQ(result.status, 3) << row.failed;
        EXPECT_EQ(result.err, row.failed + row.reason + stopped);
        for (const char* success :
             {"Chip programmed", "Chip read", "Chip erased", "Chip is blank", "Chip verified"})
            EXPECT_EQ(result.out.find(success), std::string::npos) << result.out;
        EXPECT_EQ(unit.stop().first, 0) << row.failed;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder.file("read.hex"))));
}

// The attack that a relay made: the command byte of a data word lost before its operand
// 67 00, which an original unit's program takes for an end command. With verify off, the
// tool must fail whichever type it takes the unit for, and in fast mode, where the byte is
// lost from a packet.
TEST(UnitTypeThroughPty, ADataWordLostBeforeItsOperand6700FailsForBothUnitTypes) {
    TempFolder folder;
    folder.write("word.hex", ":04000000670012344F\r\n:00000001FF\r\n");
    const QStringList program{"--model", "18F452", "--no-verify", "program",
                              QString::fromStdString(folder.file("word.hex"))};
    int dataWord = 0;
    {
        UnitSimulator plain({QStringLiteral("--reference")});
        const QString trace = QString::fromStdString(folder.file("trace.txt"));
        ASSERT_EQ(
            cliIn(folder, QStringList{"--port", plain.device(), "--trace", trace} + program).status,
            0);
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
    for (const char* type : {"original", "reference", "fast"}) {
        const std::string mode = type;
        UnitSimulator unit({QStringLiteral("--reference"), QStringLiteral("--drop-byte"),
                            QString::number(dataWord)});
        QStringList options{"--unit", mode == "original" ? "original" : "reference", "--port",
                            unit.device()};
        options << (mode == "fast" ? QStringList{"--fast-baud", "1000000"}
                                   : QStringList{"--no-fast"});
        const CliResult dropped = cliIn(folder, options + program);
        EXPECT_EQ(dropped.status, 3) << type << dropped.out << dropped.err;
        EXPECT_EQ(dropped.out.find("Chip programmed"), std::string::npos) << type;
        EXPECT_NE(dropped.err.find("Program all failed\n"), std::string::npos) << type;
        if (std::string(type) == "reference") {
            EXPECT_NE(dropped.err.find("The unit lost or could not read a byte"), std::string::npos)
                << dropped.err;
        }
        EXPECT_EQ(unit.stop().first, 0) << type;
    }
}
