// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"

#include <string>

namespace tessaline {

struct HexLoadOutcome {
    enum class Status { Loaded, Faulty, Unreadable };
    Status status = Status::Unreadable;
    // The load report, the reader's fault message, or why the file could not be read.
    std::string message;
    // Of a loaded file: its data records, and whether it ended with the end-of-file record.
    std::int32_t dataRecords = 0;
    bool endOfFileRecord = false;
};

// Loads a HEX file into the buffer of the selected model: the buffer is reset first,
// and reset again when the file turns out faulty or unreadable, so that nothing of a bad
// file stays behind.
HexLoadOutcome loadHexFile(const std::string& path, ProgrammerState& state);

struct HexSaveOutcome {
    bool saved = false;
    // The system's reason when the file could not be written.
    std::string error;
};

// Writes the buffer as a HEX file. The text goes to a temporary file in the same folder
// that replaces the old file only once it is complete, so a failed write leaves the old
// file as it was.
HexSaveOutcome saveHexFile(const std::string& path, const ProgramBuffer& buffer);

} // namespace tessaline
