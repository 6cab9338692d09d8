// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/operation_kind.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

// The words the front ends show for what the engine reports. The engine itself passes
// numbers and kinds; the window and the command-line tool turn them into these texts.
// Lines end with LF.

// "Begin program all", "Begin read all", ...
std::string beginText(OperationKind kind);

// "F:1/32768" or "E:3/256".
std::string progressText(Memory memory, std::int32_t done, std::int32_t total);

// How a reference unit's operation runs: "Fast mode, 1000000 baud", or "Standard mode"
// (0: one command a reply).
std::string linkModeText(std::int32_t fastBaud);

// "CONF1L:" .. "CONF7H:" for 0 .. 13.
std::string configByteText(std::int32_t index);

// "Serial port 2 ready" or "Serial port 2 error!", the error followed by its reason when
// one is known.
std::string portStatusText(std::int32_t portNumber, bool ready, const std::string& reason = {});

// "Program all", "Read all", "Erase all", "Blank check", "Verify".
std::string operationName(OperationKind kind);

// The status line after an operation ended: its completion text ("Chip programmed",
// "Chip is not blank", ...), "<name> failed" when the unit, the port or a script word
// stopped it, the port's error text when it was refused for the port, and empty when it
// was refused for its script.
std::string endStatusText(const OperationEnd& end, std::int32_t portNumber);

// What a failed check tells the user: "Verify failed at address 000020h!", the value read
// and the value expected ("Chip is not blank at address ..." and the value read for a
// blank check).
std::string checkFailureMessage(const CheckFailure& failure);

// The message the user reads after the end, or empty when there is none.
std::string endMessage(const OperationEnd& end);

} // namespace tessaline
