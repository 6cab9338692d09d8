#pragma once

#include <string>

namespace tessaline {

// The five operations on the chip.
enum class OperationKind { Program, Read, Erase, Blank, Verify };

// The two memory arrays that the data instructions step through.
enum class Memory { Flash, Eeprom };

// How an operation ended.
enum class Outcome {
    Done,        // the script ran to its end (program, read and erase whatever a check found)
    CheckFailed, // a blank check or verify found a byte that differs
    Refused,     // not started: the port is not ready or the script cannot run
    UnitSilent,  // the programmer unit stopped answering
    PortFailed,  // the serial port failed under the operation
    ScriptFailed // the engine met a word it cannot execute
};

// The end of an operation, as the front end hears of it.
struct OperationEnd {
    OperationKind kind = OperationKind::Program;
    Outcome outcome = Outcome::Done;
    // Refused: what is wrong with the script, empty when the port is not ready.
    // PortFailed: the system's error text. ScriptFailed: the engine's sentence.
    std::string detail;

    bool operator==(const OperationEnd&) const = default;
};

} // namespace tessaline
