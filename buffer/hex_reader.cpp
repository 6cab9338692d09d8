// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_reader.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "buffer/text_lines.hpp"

#include <algorithm>

namespace tessaline {

namespace {

// PIC18 addresses that a HEX file may carry but the buffer does not keep.
constexpr std::int64_t kIdFirst = 0x200000;
constexpr std::int64_t kIdLast = 0x200007;
constexpr std::int64_t kDeviceIdFirst = 0x3FFFFE;
constexpr std::int64_t kDeviceIdLast = 0x3FFFFF;
constexpr std::int64_t kConfigLast = kConfigBaseAddress + kConfigByteCount - 1;
constexpr std::int64_t kConfigSpareLast = 0x30000F;

enum class Destination { Flash, Discard, Config, Eeprom, OutOfRange };

Destination destinationOf(std::int64_t address, const ProgramBuffer& buffer) {
    if (address >= 0 && address < static_cast<std::int64_t>(buffer.Flash.size()))
        return Destination::Flash;
    if (address >= kIdFirst && address <= kIdLast)
        return Destination::Discard;
    if (address >= kDeviceIdFirst && address <= kDeviceIdLast)
        return Destination::Discard;
    if (address >= kConfigBaseAddress && address <= kConfigLast)
        return Destination::Config;
    if (address > kConfigLast && address <= kConfigSpareLast)
        return Destination::Discard;
    if (address >= kEepromBaseAddress &&
        address < kEepromBaseAddress + static_cast<std::int64_t>(buffer.Eeprom.size()))
        return Destination::Eeprom;
    return Destination::OutOfRange;
}

std::string_view rightTrimBlanks(std::string_view line) {
    while (!line.empty() && line.back() == ' ')
        line.remove_suffix(1);
    return line;
}

void store(ProgramBuffer& buffer, Destination destination, std::int64_t address,
           std::uint8_t value) {
    switch (destination) {
    case Destination::Flash:
        buffer.Flash[static_cast<std::size_t>(address)] = value;
        buffer.LoadedFlashTop =
            std::max(buffer.LoadedFlashTop, static_cast<std::int32_t>(address + 1));
        break;
    case Destination::Config:
        buffer.Config[static_cast<std::size_t>(address - kConfigBaseAddress)] = value;
        break;
    case Destination::Eeprom:
        buffer.Eeprom[static_cast<std::size_t>(address - kEepromBaseAddress)] = value;
        break;
    case Destination::Discard:
    case Destination::OutOfRange:
        break;
    }
}

} // namespace

bool HexLineReader::readLine(std::string_view rawLine) {
    ++m_result.lineNumber;
    std::string_view line = rightTrimBlanks(rawLine);
    if (!line.empty() && line.front() == ';')
        return true;
    if (line.empty())
        return true;
    if (line.front() != ':')
        return fail(HexLoadError::NoColon);
    if (line.size() < 11)
        return fail(HexLoadError::TooShort);
    const std::string_view record = line.substr(1);
    const std::string_view body = record.substr(0, record.size() - 2);
    if (HexRecordChecksum(body) != record.substr(record.size() - 2))
        return fail(HexLoadError::BadChecksum);
    const std::int32_t count = ParseHex2(record.substr(0, 2));
    const std::int32_t address = ParseHex4(record.substr(2, 4));
    const std::int32_t type = ParseHex2(record.substr(6, 2));
    const std::string_view data = record.substr(8, record.size() - 10);
    switch (type) {
    case 0x01:
        m_result.endOfFileRecord = true;
        return false;
    case 0x05:
        return true;
    case 0x04:
        return extendedLinear(address, data);
    case 0x02:
        return extendedSegment(address, data);
    case 0x00:
        ++m_result.dataRecords;
        return dataRecord(count, address, data);
    default:
        return fail(HexLoadError::BadRecordType);
    }
}

bool HexLineReader::fail(HexLoadError error) {
    m_result.error = error;
    return false;
}

bool HexLineReader::extendedLinear(std::int32_t address, std::string_view data) {
    const std::int32_t value = ParseHex4(data);
    if (data.size() != 4 || address != 0 || value < 0)
        return fail(HexLoadError::BadType04);
    m_upperLinearAddress = value;
    return true;
}

bool HexLineReader::extendedSegment(std::int32_t address, std::string_view data) {
    const std::int32_t value = ParseHex4(data);
    if (data.size() != 4 || value < 0 || address != 0 || data.back() != '0')
        return fail(HexLoadError::BadType02);
    m_segmentBase = value;
    return true;
}

bool HexLineReader::dataRecord(std::int32_t count, std::int32_t address, std::string_view data) {
    if (data.empty())
        return true;
    if (count < 0)
        return fail(HexLoadError::BadByteCount);
    if (address < 0)
        return fail(HexLoadError::BadAddress);
    if (data.size() != 2 * static_cast<std::size_t>(count))
        return fail(HexLoadError::ByteCountMismatch);
    // The two extended addresses add up; 64-bit arithmetic keeps the sum exact.
    const std::int64_t first = static_cast<std::int64_t>(m_upperLinearAddress) * 65536 +
                               static_cast<std::int64_t>(m_segmentBase) * 16 + address;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int64_t target = first + i;
        const Destination destination = destinationOf(target, m_buffer);
        if (destination == Destination::OutOfRange)
            return fail(HexLoadError::AddressOutOfRange);
        const std::int32_t value = ParseHex2(data.substr(2 * static_cast<std::size_t>(i), 2));
        if (value < 0)
            return fail(HexLoadError::BadDataByte);
        store(m_buffer, destination, target, static_cast<std::uint8_t>(value));
    }
    return true;
}

HexReadResult readHexText(std::string_view text, ProgramBuffer& buffer) {
    HexLineReader reader(buffer);
    forEachLine(text, [&reader](std::string_view line) { return reader.readLine(line); });
    return reader.result();
}

} // namespace tessaline
