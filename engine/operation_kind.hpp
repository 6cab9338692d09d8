// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/chip_identity.hpp"
#include "protocol/unit_protocol.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tessaline {

// The five operations on the chip and reading which chip is in the socket; then the
// unit's own: asking which unit it is, and the reference unit's report and calibration.
enum class OperationKind {
    Program,
    Read,
    Erase,
    Blank,
    Verify,
    Identify,
    DetectUnit,
    UnitReport,
    Calibrate
};

// The two memory arrays that the data instructions step through.
enum class Memory { Flash, Eeprom };

// How an operation ended.
enum class Outcome {
    Done,         // the script ran to its end (program, read and erase whatever a check found)
    CheckFailed,  // a blank check or verify found a byte that differs
    Refused,      // not started: the port is not ready or the script cannot run
    UnitSilent,   // the programmer unit stopped answering
    PortFailed,   // the serial port failed under the operation
    ScriptFailed, // the engine met a word it cannot execute
    WrongDevice,  // the chip in the socket is not the selected model, or none answers
    StrayBytes,   // the unit sent bytes that no command asked for
    Stopped,      // the user stopped the operation
    UnitRefused,  // a reference unit's status reported a refusal or a receive error
    LinkFailed    // in fast mode, a packet or its reply was lost, garbled or late
};

// A byte that a blank check or a verify found other than it should be.
struct CheckFailure {
    // As a HEX file addresses it: FLASH from 0, the data EEPROM from F00000h, CONFIG1L
    // .. CONFIG7H at 300000h .. 30000Dh.
    std::int32_t address = 0;
    std::int32_t read = 0;
    std::int32_t expected = 0;
    bool blank = false; // a blank check; a verify otherwise
    // The image code-protects the address, so the chip must read 00h there.
    bool protectedAddress = false;

    bool operator==(const CheckFailure&) const = default;
};

// What a reference unit reports of itself (kCmdUnitReport), measured while powered down.
struct UnitReport {
    std::uint8_t version = 0;
    // The ADC reference in mV as calibrated; 0: not calibrated.
    std::uint16_t calibrationMillivolts = 0;
    // VPP at the output of the MCLR supply that J1 selects, and the target's VDD, in
    // units of 10 mV.
    std::uint16_t vppCentivolts = 0;
    std::uint16_t vddCentivolts = 0;
    std::uint8_t jumpers = 0; // kJumper* bits
    // The report's status bits, and those of the reply to the end command that powered
    // the unit down before it (the reason of an earlier program's failure).
    std::uint8_t status = 0;
    std::uint8_t powerDownStatus = 0;

    bool operator==(const UnitReport&) const = default;
};

// The end of an operation, as the front end hears of it.
struct OperationEnd {
    OperationEnd() = default;
    OperationEnd(OperationKind endedKind, Outcome endOutcome, std::string endDetail = {},
                 std::optional<std::uint16_t> readDeviceId = {})
        : kind(endedKind), outcome(endOutcome), detail(std::move(endDetail)),
          deviceId(readDeviceId) {}

    OperationKind kind = OperationKind::Program;
    Outcome outcome = Outcome::Done;
    // Refused: what the script check found wrong, empty when the port is not ready.
    // PortFailed: the system's error text. ScriptFailed: what the script check says of the
    // word that the engine could not execute.
    std::string detail;
    // The device ID read (DEVID2:DEVID1), when the operation read one.
    std::optional<std::uint16_t> deviceId;
    // WrongDevice: what the device ID tells about the chip found.
    std::optional<ChipIdentity> chip;
    // UnitRefused: the status bits of the reference unit's replies that failed the
    // operation, and those of the reply to the end command that followed. LinkFailed: the
    // bits of the replies to ABORT and to the end command that followed.
    std::uint8_t unitStatus = 0;
    // DetectUnit: the unit type that the probe found.
    std::optional<CommandSet> unitType;
    // DetectUnit (a reference unit) and UnitReport: what the unit reports of itself.
    std::optional<UnitReport> report;

    bool operator==(const OperationEnd&) const = default;
};

} // namespace tessaline
