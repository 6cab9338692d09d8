// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaline {

enum class HexLoadError {
    None,
    NoColon,
    TooShort,
    BadChecksum,
    BadRecordType,
    BadType04,
    BadType02,
    BadByteCount,
    BadAddress,
    ByteCountMismatch,
    BadDataByte,
    AddressOutOfRange,
};

struct HexReadResult {
    HexLoadError error = HexLoadError::None;
    // The line of the fault, counting every line of the file from 1.
    std::int32_t lineNumber = 0;
    // What was read up to the end or the fault: the data records, and whether the
    // end-of-file record closed the text.
    std::int32_t dataRecords = 0;
    bool endOfFileRecord = false;

    bool ok() const { return error == HexLoadError::None; }
};

// The reader fed one line at a time, for a file read in pieces: readHexText over a text
// that arrives line by line.
class HexLineReader {
public:
    explicit HexLineReader(ProgramBuffer& buffer) : m_buffer(buffer) {}

    // Takes the next line, without its line end. False once reading must stop: at a
    // fault or at the end-of-file record.
    bool readLine(std::string_view rawLine);
    HexReadResult result() const { return m_result; }

private:
    bool fail(HexLoadError error);
    bool extendedLinear(std::int32_t address, std::string_view data);
    bool extendedSegment(std::int32_t address, std::string_view data);
    bool dataRecord(std::int32_t count, std::int32_t address, std::string_view data);

    ProgramBuffer& m_buffer;
    HexReadResult m_result;
    std::int32_t m_upperLinearAddress = 0;
    std::int32_t m_segmentBase = 0;
};

// Reads a PIC18 Intel HEX text into a buffer that the caller has reset: FLASH, the
// configuration bytes and the EEPROM are stored, ID locations and the device ID are
// checked and dropped, anything else is out of range. Stops at the first fault or at the
// end-of-file record. Raises LoadedFlashTop to one past the highest FLASH byte written.
HexReadResult readHexText(std::string_view text, ProgramBuffer& buffer);

} // namespace tessaline
