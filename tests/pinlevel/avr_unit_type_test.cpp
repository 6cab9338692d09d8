// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool against the reference unit's own firmware in tessaline-unitsim
// --firmware, taken for what it is: the probe finds it, and a supply too low for a bulk
// erase fails Erase All and Program All with the unit's reason, with verify off.
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/temp_folder.hpp"

#include <string>

#include <gtest/gtest.h>

using namespace tessaline::test;

namespace {

CliResult cliIn(const TempFolder& folder, const QStringList& arguments) {
    return cli(arguments, 60000, QString::fromStdString(folder.file("config")));
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
    // The refusal comes in the reply to a packet of fast mode, with the same reason.
    EXPECT_EQ(erased.out, "Begin erase all\nFast mode, 1000000 baud\n");
    EXPECT_EQ(erased.err, "Erase all failed\n" + reason);
    const CliResult programmed = cliIn(folder, port + QStringList{"--no-verify", "program", hex});
    EXPECT_EQ(programmed.status, 3);
    EXPECT_EQ(programmed.out.find("Chip programmed"), std::string::npos) << programmed.out;
    EXPECT_EQ(programmed.err, "Program all failed\n" + reason);
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
}
