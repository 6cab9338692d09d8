// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/load_texts.hpp"

namespace tessaline {

std::string kibText(std::int32_t loadedFlashTop) {
    // n / 1024 has at most ten decimal places, all exact: 10^10 / 1024 = 5^10.
    const std::int64_t whole = loadedFlashTop / 1024;
    const std::int64_t remainder = loadedFlashTop % 1024;
    std::string text = whole == 0 && remainder != 0 ? std::string() : std::to_string(whole);
    if (remainder != 0) {
        std::string fraction = std::to_string(remainder * 9765625);
        fraction.insert(0, 10 - fraction.size(), '0');
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text.substr(0, 4);
}

std::string loadReport(std::int32_t loadedFlashTop) {
    return "Operation completed.\nTotal " + std::to_string(loadedFlashTop) + " (" +
           kibText(loadedFlashTop) + "K) program bytes loaded.";
}

std::string_view hexLoadErrorText(HexLoadError error) {
    switch (error) {
    case HexLoadError::None:
        return {};
    case HexLoadError::NoColon:
        return ": The record does not begin with ':' simbol.";
    case HexLoadError::TooShort:
        return ": The record is too short.";
    case HexLoadError::BadChecksum:
        return ": Invalid 'checksum' field in the record.";
    case HexLoadError::BadRecordType:
        return ": Invalid 'record type' field in the record.";
    case HexLoadError::BadType04:
        return ": Invalid '04 type' record.";
    case HexLoadError::BadType02:
        return ": Invalid '02 type' record.";
    case HexLoadError::BadByteCount:
        return ": Invalid 'number of bytes' field in the record.";
    case HexLoadError::BadAddress:
        return ": Invalid 'address' field in the record.";
    case HexLoadError::ByteCountMismatch:
        return ": The record does not contain the specified number of bytes.";
    case HexLoadError::BadDataByte:
        return ": Invalid data byte in the record.";
    case HexLoadError::AddressOutOfRange:
        return ": Address out of range.";
    }
    return {};
}

std::string hexLoadErrorMessage(const HexReadResult& result) {
    return "Input program file in Intel Hex Format contains errors.\nLine number " +
           std::to_string(result.lineNumber) + std::string(hexLoadErrorText(result.error));
}

} // namespace tessaline
