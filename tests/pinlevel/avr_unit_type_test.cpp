// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool against the reference unit's own firmware in tessaline-unitsim
// --firmware, taken for what it is: the probe finds it, a supply too low for a bulk erase
// fails Erase All and Program All with the unit's reason, and a data word lost on the line
// fails too, with verify off.
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/temp_folder.hpp"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace tessaline::test;

namespace {

CliResult cliIn(const TempFolder& folder, const QStringList& arguments) {
    return cli(arguments, 60000, QString::fromStdString(folder.file("config")));
}

// The place of the data word's command byte before the operand 67 00, in the bytes that
// programming the file sends, from a trace against the transfer-level unit.
int dataWordBefore6700(const TempFolder& folder, const QStringList& program) {
    UnitSimulator plain({QStringLiteral("--reference")});
    const QString trace = QString::fromStdString(folder.file("trace.txt"));
    if (cliIn(folder, QStringList{"--port", plain.device(), "--trace", trace} + program).status !=
        0)
        return 0;
    std::istringstream lines(folder.read("trace.txt"));
    std::vector<std::string> sent;
    for (std::string line; std::getline(lines, line);)
        if (line[0] != '#' && line.find("-> ") != std::string::npos)
            sent.push_back(line.substr(line.find("-> ") + 3, 2));
    for (std::size_t i = 0; i + 2 < sent.size(); ++i)
        if (sent[i] == "6C" && sent[i + 1] == "67" && sent[i + 2] == "00")
            return static_cast<int>(i) + 1;
    return 0;
}

} // namespace

TEST(FirmwareUnitType, FoundByTheProbeAndRefusingALowSupplyWithItsReason) {
    TempFolder folder;
    folder.write("word.hex", ":04000000670012344F\r\n:00000001FF\r\n");
    const QString hex = QString::fromStdString(folder.file("word.hex"));
    UnitSimulator unit({QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                        QStringLiteral("--vdd-volts"), QStringLiteral("4.4")});
    const QStringList port{"--model", "18F452", "--port", unit.device()};
    const CliResult found = cliIn(folder, port + QStringList{"detect"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "Begin detect unit\nreference unit, firmware 2\n");
    const std::string reason = "The unit refused: the target's VDD outside 4.6 to 5.5 V.\n"
                               "The unit refused a command and ran nothing more.\n"
                               "The operation was stopped.\n";
    const CliResult erased = cliIn(folder, port + QStringList{"erase"});
    EXPECT_EQ(erased.status, 3);
    EXPECT_EQ(erased.out, "Begin erase all\n");
    EXPECT_EQ(erased.err, "Erase all failed\n" + reason);
    const CliResult programmed = cliIn(folder, port + QStringList{"--no-verify", "program", hex});
    EXPECT_EQ(programmed.status, 3);
    EXPECT_EQ(programmed.out.find("Chip programmed"), std::string::npos) << programmed.out;
    EXPECT_EQ(programmed.err, "Program all failed\n" + reason);
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
}

TEST(FirmwareUnitType, ADataWordLostBeforeItsOperand6700FailsAReferenceUnitToo) {
    TempFolder folder;
    folder.write("word.hex", ":04000000670012344F\r\n:00000001FF\r\n");
    const QStringList program{"--model", "18F452", "--no-verify", "program",
                              QString::fromStdString(folder.file("word.hex"))};
    const int dataWord = dataWordBefore6700(folder, program);
    ASSERT_GT(dataWord, 0);
    UnitSimulator unit({QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                        QStringLiteral("--drop-byte"), QString::number(dataWord)});
    const CliResult dropped =
        cliIn(folder, QStringList{"--unit", "reference", "--port", unit.device()} + program);
    EXPECT_EQ(dropped.status, 3) << dropped.out << dropped.err;
    EXPECT_EQ(dropped.out.find("Chip programmed"), std::string::npos) << dropped.out;
    EXPECT_EQ(dropped.err.rfind("Program all failed\nThe unit lost or could not read a byte", 0),
              0u)
        << dropped.err;
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
}
