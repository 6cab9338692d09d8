// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool against the unit's firmware running in tessaline-unitsim
// --firmware on a real pseudo-terminal, in real time; and the options that make no sense
// with firmware.
#include "tests/e2e/tool_processes.hpp"
#include "tests/support/temp_folder.hpp"

#include <QProcess>

#include <gtest/gtest.h>

using namespace tessaline::test;

TEST(FirmwareThroughPty, IdentifyProgramAndVerifyTheBlinkExample) {
    TempFolder folder;
    UnitSimulator unit({QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                        QStringLiteral("--chip"), QStringLiteral("18F452"), QStringLiteral("--vcd"),
                        QString::fromStdString(folder.file("icsp.vcd"))});
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
    EXPECT_NE(report.find(" 0 violations"), std::string::npos) << report;
    // The lines for a waveform viewer: the header, then every change.
    const std::string vcd = folder.read("icsp.vcd");
    EXPECT_NE(vcd.find("$var wire 1 c PGC $end"), std::string::npos);
    EXPECT_NE(vcd.find("\n1c\n"), std::string::npos) << "PGC rose";
    EXPECT_NE(vcd.find("\nb11 m\n"), std::string::npos) << "MCLR at VPP";
}

TEST(FirmwareThroughPty, OptionsOfTheSimulatedUnitAreRefused) {
    for (const char* option : {"--baud", "--reply-delay", "--mute-after"}) {
        QProcess unit;
        unit.start(QStringLiteral(TESSALINE_UNITSIM_PATH),
                   {QStringLiteral("--firmware"), QStringLiteral(TESSALINE_FIRMWARE_ELF),
                    QString::fromLatin1(option), QStringLiteral("1")});
        ASSERT_TRUE(unit.waitForFinished(10000));
        EXPECT_EQ(unit.exitCode(), 2) << option;
        EXPECT_TRUE(unit.readAllStandardOutput().isEmpty()) << option;
        EXPECT_TRUE(unit.readAllStandardError().contains("makes no sense with --firmware"))
            << option;
    }
}
