// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/line_ends.hpp"
#include "texts/operation_texts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

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

// A protected address must read 00h; the message says why that was expected.
TEST(OperationTexts, ACheckOnAProtectedAddressSaysWhyItExpectedZero) {
    EXPECT_EQ(checkFailureMessage({0x000100, 0x12, 0x00, false, true}),
              "Verify failed at address 000100h!\nThe value read from that address is 12h.\n"
              "The address is code-protected, so the value expected is 00h.");
}
