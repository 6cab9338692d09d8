// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/line_ends.hpp"
#include "texts/operation_texts.hpp"
#include "texts/unit_texts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

namespace {

OperationEnd refusal(std::uint8_t status) {
    OperationEnd end{OperationKind::Erase, Outcome::UnitRefused};
    end.unitStatus = status;
    return end;
}

} // namespace

TEST(OperationTexts, EveryEndHasItsStatusAndMessage) {
    struct Row {
        OperationEnd end;
        const char* status;
        const char* message;
    };
    using K = OperationKind;
    const Row rows[] = {
        {{K::Program, Outcome::Done, ""}, "Chip programmed", ""},
        {{K::Read, Outcome::Done, ""}, "Chip read", ""},
        {{K::Erase, Outcome::Done, ""}, "Chip erased", ""},
        {{K::Blank, Outcome::Done, ""}, "Chip is blank", ""},
        {{K::Blank, Outcome::CheckFailed, ""}, "Chip is not blank", ""},
        {{K::Verify, Outcome::Done, ""}, "Chip verified", ""},
        {{K::Verify, Outcome::CheckFailed, ""}, "Chip verify failed", ""},
        {{K::Read, Outcome::Refused, ""}, "Serial port 4 error!", ""},
        {{K::Erase, Outcome::Refused, "x.cfg:3: Bad."},
         "",
         "x.cfg:3: Bad.\r\nThe operation was not started."},
        {{K::Blank, Outcome::UnitSilent, ""},
         "Blank check failed",
         "The programmer unit does not answer.\r\nThe operation was stopped."},
        {{K::Verify, Outcome::PortFailed, "No such device"},
         "Verify failed",
         "The serial port failed: No such device\r\nThe operation was stopped."},
        {{K::Program, Outcome::ScriptFailed, "Unrecognized symbolic instruction 'x'."},
         "Program all failed",
         "Unrecognized symbolic instruction 'x'.\r\nThe operation was stopped."},
        {refusal(0xA9), "Erase all failed",
         "The unit refused: the target's VDD outside 4.6 to 5.5 V.\r\nThe unit refused a command "
         "and ran nothing more.\r\nWarning: the target has a supply of its own "
         "(self-powered).\r\nThe unit set status bits that no unit defines: 80h.\r\nThe "
         "operation was stopped."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(endStatusText(row.end, 4), row.status) << row.status;
        EXPECT_EQ(crlfLines(endMessage(row.end)), row.message) << row.status;
    }
    EXPECT_EQ(beginText(K::Program), "Begin program all");
    EXPECT_EQ(beginText(K::Blank), "Begin blank check");
    EXPECT_EQ(progressText(Memory::Flash, 1, 32768), "F:1/32768");
    EXPECT_EQ(progressText(Memory::Eeprom, 256, 256), "E:256/256");
    EXPECT_EQ(configByteText(0), "CONF1L:");
    EXPECT_EQ(configByteText(13), "CONF7H:");
    EXPECT_EQ(portStatusText(2, true), "Serial port 2 ready");
}

// The report says what J1 feeds from VPP against the windows, and whether J3 agrees.
TEST(UnitTexts, TheReportJudgesTheJumpersFromWhatTheUnitMeasures) {
    UnitReport report;
    report.version = 2;
    report.calibrationMillivolts = 1085;
    report.vppCentivolts = 498;
    report.vddCentivolts = 501;
    report.status = kStatusSelfPowered;
    EXPECT_EQ(unitReportText(report), "Firmware version: 2\n"
                                      "Calibration: 1085 mV\n"
                                      "VPP: 4.98 V\n"
                                      "VDD: 5.01 V (the target has a supply of its own)\n"
                                      "J3: open, high-voltage entry\n"
                                      "J1: +5 V (VPP within 4.5 to 5.5 V)\n"
                                      "J1 and J3 disagree: the unit refuses to power up.\n"
                                      "Status:\n"
                                      "  Warning: the target has a supply of its own "
                                      "(self-powered).\n");
    report.jumpers = kJumperLowVoltage;
    const std::pair<std::uint16_t, const char*> feeds[] = {
        {1310, "J1: the boost module, set too high (VPP above 12.5 V)\n"
               "J1 and J3 disagree: the unit refuses to power up.\n"},
        {30, "J1: nothing the unit can use (VPP below 4.5 V)\nStatus"},
    };
    for (const auto& [vpp, text] : feeds) {
        report.vppCentivolts = vpp;
        const std::string shown = unitReportText(report);
        EXPECT_NE(shown.find("J3: closed, low-voltage entry (PGM)\n" + std::string(text)),
                  std::string::npos)
            << shown;
    }
}

// A protected address must read 00h; the message says why that was expected.
TEST(OperationTexts, ACheckOnAProtectedAddressSaysWhyItExpectedZero) {
    EXPECT_EQ(checkFailureMessage({0x000100, 0x12, 0x00, false, true}),
              "Verify failed at address 000100h!\nThe value read from that address is 12h.\n"
              "The address is code-protected, so the value expected is 00h.");
}
