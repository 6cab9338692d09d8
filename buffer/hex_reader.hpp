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

    bool ok() const { return error == HexLoadError::None; }
};

// Reads a PIC18 Intel HEX text into a buffer that the caller has reset: FLASH, the
// configuration bytes and the EEPROM are stored, ID locations and the device ID are
// checked and dropped, anything else is out of range. Stops at the first fault or at the
// end-of-file record. Raises LoadedFlashTop to one past the highest FLASH byte written.
HexReadResult ReadHexText(std::string_view text, ProgramBuffer& buffer);

// "Input program file in Intel Hex Format contains errors." CR LF "Line number 5: ..."
std::string hexLoadErrorMessage(const HexReadResult& result);

// The text appended after the line number for each fault, from ": ".
std::string_view hexLoadErrorText(HexLoadError error);

} // namespace tessaline
