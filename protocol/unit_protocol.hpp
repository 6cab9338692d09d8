// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The byte protocol between the program and the programmer unit: the command bytes, the
// argument bytes that follow each, and the reply bytes the unit answers each with. The
// link, its trace, the simulated units, the pin-level monitor and the unit's firmware all
// read it from here. It is plain C++14 with <stdint.h> only, so that avr-g++ compiles it
// too.
//
// Every unit takes the commands 100 to 111. The reference unit (our firmware) knows a few
// more, all outside 100 to 111; the program sends them only to a port whose unit type is
// "reference", and a unit of type "original" never sees one.

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

namespace tessaline {

enum UnitCommand : uint8_t {
    kCmdNop = 100,
    kCmdBeginVddFirst = 101, // power up: VDD, then VPP on MCLR
    kCmdBeginVppFirst = 102, // power up: VPP on MCLR, then VDD
    kCmdEnd = 103,           // power down: MCLR low, VPP and VDD off
    kCmdCommandCode = 107,   // + the 4-bit ICSP command
    kCmdDataWord = 108,      // + low byte, high byte of the 16-bit operand
    kCmdStartProg = 109,     // core instruction with its 4th clock held for the programming time
    kCmdReadByte = 110,      // clocks the operand and returns the 8 bits the chip shifts out
    kCmdProgTime = 111,      // + programming time in milliseconds

    // The reference unit's own, taken only while it is powered down.
    kCmdUnitReport = 0xE0, // reply: the kUnitReportSize bytes of UnitReportByte
    kCmdEnterFast = 0xE1,  // + a FastRate; reply: kFastModeVersion, the mask of FastRates
    kCmdCalibrate = 0xE4,  // + the ADC reference in millivolts, low byte first; reply: status

    // Only inside a fast-mode packet (protocol/fast_mode.hpp).
    kOpLeave = 0xE2, // back to plain mode at 56000 baud once the packet's reply is out
    kOpWait = 0xE3,  // + milliseconds, low byte first: the pins stay idle that long
};

// Which commands a unit takes: the original set, the reference unit's in plain mode, or
// what a fast-mode packet may carry (the original commands, LEAVE and WAIT).
enum class CommandSet : uint8_t { Original, Reference, Packet };

// Whether a byte is one of the unit's command bytes (104 to 106 are not).
constexpr bool isUnitCommand(uint8_t byte, CommandSet set = CommandSet::Original) {
    return (byte >= kCmdNop && byte <= kCmdEnd) ||
           (byte >= kCmdCommandCode && byte <= kCmdProgTime) ||
           (set == CommandSet::Reference &&
            (byte == kCmdUnitReport || byte == kCmdEnterFast || byte == kCmdCalibrate)) ||
           (set == CommandSet::Packet && (byte == kOpLeave || byte == kOpWait));
}

// The argument bytes that follow a command byte.
constexpr int unitArgumentCount(uint8_t command) {
    return command == kCmdDataWord || command == kCmdCalibrate || command == kOpWait           ? 2
           : command == kCmdCommandCode || command == kCmdProgTime || command == kCmdEnterFast ? 1
                                                                                               : 0;
}

// The reply to kCmdUnitReport, byte by byte. Voltages are in units of 10 mV, low byte
// first, as the unit measures them while powered down: VPP at the output of the MCLR
// supply that jumper J1 selects (the boost module, or +5 V for low-voltage entry), VDD at
// the target.
enum UnitReportByte : uint8_t {
    kReportVersion,         // the firmware's version
    kReportCalibrationLow,  // the ADC reference in mV as calibrated; 0: not calibrated
    kReportCalibrationHigh, //
    kReportVppLow,          //
    kReportVppHigh,         //
    kReportVddLow,          //
    kReportVddHigh,         //
    kReportJumpers,         // kJumper* bits
    kReportStatus,          // the status bits (UnitStatus), as a reply would carry them
    kUnitReportSize
};

constexpr uint8_t kJumperLowVoltage = 0x01; // J3 set: low-voltage entry through PGM

// The reply bytes the unit sends once a command's last byte is in: one, two for a read
// (the data byte first) and for kCmdEnterFast, and the report's.
constexpr int unitReplyCount(uint8_t command) {
    return command == kCmdReadByte || command == kCmdEnterFast ? 2
           : command == kCmdUnitReport                         ? kUnitReportSize
                                                               : 1;
}

// The value of a reply byte (the second one after a read, the last of a report): 00h when
// all is well, else status bits. A unit of type "original" may answer anything: the
// program never examines its replies. The program acts on a reference unit's: every bit
// of kStatusFailures fails the operation.
//
// How the reference unit refuses: it falls silent. From a refused command on (a power-up
// at bad voltages or with jumpers that disagree, 102, a command that does not fit the
// order of the protocol or its state) and from a receive error on (a byte garbled or
// lost on the line, a full receive buffer, a byte that cannot start a command, a command
// whose arguments stopped coming) it answers nothing, does nothing and drops every byte,
// until an end command 103 comes after kUnitSilenceQuietMs of quiet on the line. That 103
// is answered as ever, powers the target down and ends the silence; its reply carries the
// bits of the refusal. So a program that does not read the replies still fails, by its
// reply timeout, and one that does learns why. A refusal sets kStatusRefused or
// kStatusReceiveError, and beside it the reason where there is one (the supply bits,
// kStatusNoVppFirst). The supply bits of a power-up come in every reply up to and
// including the reply to the 103 that follows it; other bits come in the next reply only.
enum UnitStatus : uint8_t {
    kStatusRefused = 0x01,         // a command refused: the reference unit then answers
                                   // nothing but the end command 103
    kStatusReceiveError = 0x02,    // a byte garbled, lost, or outside the command set: the
                                   // reference unit then answers nothing but 103
    kStatusVppOutOfRange = 0x04,   // VPP outside its window at the last power-up
    kStatusVddOutOfRange = 0x08,   // target VDD outside its window at the last power-up
    kStatusJumpersDisagree = 0x10, // J1 does not feed what J3 asks for (VPP about 5 V for
                                   // high-voltage entry, or not about 5 V for low-voltage)
    kStatusSelfPowered = 0x20,     // the target had VDD before the unit switched it on
    kStatusNoVppFirst = 0x40,      // 102 refused: this unit cannot apply VPP before VDD
};

constexpr uint8_t kStatusFailures = kStatusRefused | kStatusReceiveError | kStatusVppOutOfRange |
                                    kStatusVddOutOfRange | kStatusJumpersDisagree |
                                    kStatusNoVppFirst;

// The reference unit's windows, in units of 10 mV. Outside them it refuses the power-up
// and stays safe: no VPP on MCLR and no clock.
constexpr uint16_t kVppMinCentivolts = 1000; // high-voltage entry: VIHH of every family
constexpr uint16_t kVppMaxCentivolts = 1250;
constexpr uint16_t kMclrLowVoltageMinCentivolts = 450; // low-voltage entry: J1 on +5 V
constexpr uint16_t kMclrLowVoltageMaxCentivolts = 550;
constexpr uint16_t kVddMinCentivolts = 460; // bulk erase of FXX2 and X220 parts needs 4.5 V
constexpr uint16_t kVddMaxCentivolts = 550;
// Below this the target is unpowered: no supply of its own, and its VDD has fallen far
// enough after a power-down for MCLR to be released.
constexpr uint16_t kVddAbsentCentivolts = 70;

// The ADC reference that kCmdCalibrate takes (the ATmega328P's bandgap is 1.0 to 1.2 V),
// and the one an uncalibrated unit assumes.
constexpr uint16_t kCalibrationMinMillivolts = 1000;
constexpr uint16_t kCalibrationMaxMillivolts = 1200;
constexpr uint16_t kNominalReferenceMillivolts = 1100;

// The version the reference unit's firmware reports.
constexpr uint8_t kReferenceFirmwareVersion = 2;

// Asking a unit whether it is a reference unit, in legal commands only: three 111 commands
// in a row, while powered down, with distinct times in kProbeMinMs..kProbeMaxMs. The
// reference unit answers the third with this signature instead of its status: never 00h,
// never a status byte (bit 7 is set) and never an echo of a time.
constexpr uint8_t kProbeMinMs = 1;
constexpr uint8_t kProbeMaxMs = 30;
constexpr uint8_t unitProbeSignature(uint8_t a, uint8_t b, uint8_t c) {
    return static_cast<uint8_t>(0x80 | ((7 * a + 11 * b + 13 * c + 0x35) % 127));
}

// A command whose argument bytes stop coming for this long is dropped, so that the
// program's recovery command after its reply timeout is read as a command. CommandFramer
// keeps the rule. The reference unit falls silent as it drops one.
constexpr uint16_t kUnitPartialCommandMs = 500;

// A silent reference unit takes 103 only after the line has been quiet for longer than
// this, so that an argument byte 67h of a command whose command byte was lost does not end
// the silence. The program sends its recovery 103 after its 2 s reply timeout, or after
// the kCutCoreInstructionHoldMs below.
constexpr uint8_t kUnitSilenceQuietMs = 10;

// A power-down while a core instruction (4-bit command 0000) waits for its operand: the
// 4th clock of that command may have started a bulk erase or a data EEPROM write, which
// must not lose its supply. Its frame is completed with the operand 0000h (a NOP), and
// VPP and VDD stay on this long before they go off. The reference unit does it itself on
// 103; the program does it before it sends 103.
constexpr uint8_t kCutCoreInstructionHoldMs = 20;

} // namespace tessaline
