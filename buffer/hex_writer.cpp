// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_writer.hpp"

#include "buffer/hex_text.hpp"

namespace tessaline {

namespace {

constexpr std::int32_t kBytesPerRecord = 16;

void appendRecord(std::string& out, std::string body) {
    body += HexRecordChecksum(body);
    out += ':';
    out += body;
    out += "\r\n";
}

void appendExtendedLinear(std::string& out, std::int32_t upper) {
    appendRecord(out, "02000004" + Hex4(upper));
}

// Data records of up to 16 bytes for addresses 0 .. last, taking each byte from byteAt.
// With segments, an extended linear address record precedes every record that starts a
// 64 KiB segment.
template <typename ByteAt>
void appendDataRecords(std::string& out, std::int32_t last, ByteAt byteAt, bool segments) {
    for (std::int32_t start = 0; start <= last; start += kBytesPerRecord) {
        if (segments && start % 65536 == 0)
            appendExtendedLinear(out, start / 65536);
        const std::int32_t count = std::min(kBytesPerRecord, last - start + 1);
        std::string body = Hex2(count) + Hex4(start) + "00";
        for (std::int32_t i = 0; i < count; ++i)
            appendHex2(body, byteAt(start + i));
        appendRecord(out, std::move(body));
    }
}

} // namespace

std::string writeHexText(const ProgramBuffer& buffer) {
    std::string out;
    out.reserve(buffer.Flash.size() * 2 + buffer.Flash.size() / 8 + 256);

    std::int32_t flashLast = highestNonBlank(buffer.Flash);
    if (flashLast >= 0) {
        // Whole words only: a last byte at an even address gets its FF partner.
        if (flashLast % 2 == 0)
            ++flashLast;
        appendDataRecords(
            out, flashLast, [&buffer](std::int32_t a) { return buffer.flashByteOrErased(a); },
            true);
    }

    appendExtendedLinear(out, 0x0030);
    std::string config = "0E000000";
    for (std::int32_t value : buffer.Config)
        config += Hex2(value);
    appendRecord(out, std::move(config));

    const std::int32_t eepromLast = highestNonBlank(buffer.Eeprom);
    if (eepromLast >= 0) {
        appendExtendedLinear(out, 0x00F0);
        appendDataRecords(
            out, eepromLast,
            [&buffer](std::int32_t a) { return buffer.Eeprom[static_cast<std::size_t>(a)]; },
            false);
    }

    out += ":00000001FF\r\n";
    return out;
}

} // namespace tessaline
