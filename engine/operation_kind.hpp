// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/chip_identity.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tessaline {

// The five operations on the chip, and reading which chip is in the socket.
enum class OperationKind { Program, Read, Erase, Blank, Verify, Identify };

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
    Stopped       // the user stopped the operation
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

    bool operator==(const OperationEnd&) const = default;
};

} // namespace tessaline
