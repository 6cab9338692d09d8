// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/hex_text.hpp"

namespace tessaline {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

std::string hexDigits(std::uint32_t value, int width) {
    std::string out(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = kDigits[value & 0xFu];
        value >>= 4;
    }
    return out;
}

int digitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string Hex2(std::int32_t value) {
    return hexDigits(static_cast<std::uint32_t>(value), 2);
}
std::string Hex4(std::int32_t value) {
    return hexDigits(static_cast<std::uint32_t>(value), 4);
}
std::string Hex6(std::int32_t value) {
    return hexDigits(static_cast<std::uint32_t>(value), 6);
}

std::int32_t ParseHex2(std::string_view text) {
    if (text.size() != 2)
        return -1;
    const int high = digitValue(text[0]);
    const int low = digitValue(text[1]);
    if (high < 0 || low < 0)
        return -1;
    return high * 16 + low;
}

std::int32_t ParseHex4(std::string_view text) {
    if (text.size() != 4)
        return -1;
    const std::int32_t high = ParseHex2(text.substr(0, 2));
    const std::int32_t low = ParseHex2(text.substr(2, 2));
    if (high < 0 || low < 0)
        return -1;
    return high * 256 + low;
}

std::int32_t ParseHex6(std::string_view text) {
    if (text.size() != 6)
        return -1;
    const std::int32_t upper = ParseHex2(text.substr(0, 2));
    const std::int32_t high = ParseHex2(text.substr(2, 2));
    const std::int32_t low = ParseHex2(text.substr(4, 2));
    if (upper < 0 || high < 0 || low < 0)
        return -1;
    return upper * 65536 + high * 256 + low;
}

std::string HexRecordChecksum(std::string_view body) {
    std::int64_t sum = 0;
    for (std::size_t pos = 0; pos + 1 < body.size(); pos += 2)
        sum += ParseHex2(body.substr(pos, 2));
    return Hex2(static_cast<std::int32_t>((0 - sum) & 0xFF));
}

void appendHex2(std::string& out, std::uint8_t value) {
    out.push_back(kDigits[value >> 4]);
    out.push_back(kDigits[value & 0xFu]);
}

} // namespace tessaline
