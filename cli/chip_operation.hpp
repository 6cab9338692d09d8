// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"
#include "app/serial_settings.hpp"
#include "cli/exit_status.hpp"
#include "engine/operation_kind.hpp"

#include <iosfwd>
#include <optional>
#include <string>

namespace tessaline {

class ByteTrace;

struct ChipLink {
    std::string device; // the serial device to open
    SerialSettings serial;
    // Sees every byte sent and received, when set.
    ByteTrace* trace = nullptr;
    // Program All verifies what it wrote.
    bool verifyAfterProgram = true;
    // Milliseconds to wait after opening the port, discarding what arrives (a unit that
    // resets when its port opens).
    int unitDelayMs = 0;
    // The unit on the port: an original unit's replies are never looked at.
    CommandSet unitType = CommandSet::Original;
    // A reference unit's chip operations run in fast mode at this rate; 0: reply-paced.
    std::int32_t fastBaud = 0;
    // What the calibration stores in a reference unit.
    std::uint16_t calibrationMillivolts = 0;
};

// Runs one operation on the chip or the unit through the serial port with the same start,
// engine and completion code as the window, printing the begin and completion texts, the
// progress (a bar on a terminal, a line per tenth otherwise) and any check's message.
// Returns the exit status: 0 for the good completion, 1 for a chip that is not blank or
// does not verify, 2 for a script the device file gets wrong, 3 for port and unit failures
// (a reference unit's refusal among them), 4 for a chip that is not the selected model,
// 128 + the signal's number for an operation that SIGINT, SIGTERM or SIGHUP stopped. The
// end itself goes to `end` when given; identify, detect and the unit report print what
// they found themselves.
int runChipOperation(OperationKind kind, ProgrammerState& state, const ChipLink& link,
                     std::ostream& out, std::ostream& err, bool terminal,
                     std::optional<OperationEnd>* end = nullptr);

// The exit status for the way an operation ended.
int exitStatusFor(Outcome outcome);

} // namespace tessaline
