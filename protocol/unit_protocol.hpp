// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The byte protocol between the program and the programmer unit: the command bytes, the
// argument bytes that follow each, and the reply bytes the unit answers each with. The
// link, its trace, the simulated units, the pin-level monitor and the unit's firmware all
// read it from here. It is plain C++14 with <stdint.h> only, so that avr-g++ compiles it
// too.

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
};

// Whether a byte is one of the unit's command bytes (104 to 106 are not).
constexpr bool isUnitCommand(uint8_t byte) {
    return (byte >= kCmdNop && byte <= kCmdEnd) ||
           (byte >= kCmdCommandCode && byte <= kCmdProgTime);
}

// The argument bytes that follow a command byte.
constexpr int unitArgumentCount(uint8_t command) {
    return command == kCmdDataWord                                 ? 2
           : command == kCmdCommandCode || command == kCmdProgTime ? 1
                                                                   : 0;
}

// The reply bytes the unit sends once a command's last byte is in: one, and two for a read
// (the data byte first).
constexpr int unitReplyCount(uint8_t command) {
    return command == kCmdReadByte ? 2 : 1;
}

// The value of a reply byte (the second one after a read): 00h when all is well, else
// status bits. The program never acts on them; its trace names them.
enum UnitStatus : uint8_t {
    kStatusRefused = 0x01,       // a command refused or malformed since the last reply
    kStatusReceiveError = 0x02,  // a byte dropped: outside the command set, garbled, or
                                 // part of a command whose remaining bytes did not come
    kStatusVppOutOfRange = 0x04, // VPP outside 10.0 to 12.5 V at the last power-up
    kStatusVddLow = 0x08,        // target VDD below 4.6 V at the last power-up
};

// A command whose argument bytes stop coming for this long is dropped, so that the
// program's recovery command after its reply timeout is read as a command. CommandFramer
// keeps the rule.
constexpr uint16_t kUnitPartialCommandMs = 500;

} // namespace tessaline
