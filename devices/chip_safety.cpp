// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/chip_safety.hpp"

#include "buffer/hex_text.hpp"
#include "buffer/text_rules.hpp"
#include "devices/selected_model.hpp"

#include <algorithm>

namespace tessaline {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::int32_t hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One to six hexadecimal digits, upper or lower case; -1 for anything else.
std::int32_t parseAddress(std::string_view text) {
    if (text.empty() || text.size() > 6)
        return -1;
    std::int32_t value = 0;
    for (char c : text) {
        const std::int32_t digit = hexDigit(c);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// "5L" .. as CONFIG5L's index; -1 for anything else.
int parseConfigName(std::string_view text) {
    if (text.size() != 2 || text[0] < '1' || text[0] > '7')
        return -1;
    const char half = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
    if (half != 'L' && half != 'H')
        return -1;
    return (text[0] - '1') * 2 + (half == 'H' ? 1 : 0);
}

std::optional<ProtectedRange> parseRange(std::string_view entry) {
    entry = trimmed(entry);
    ProtectedRange range;
    std::string_view condition;
    if (const std::size_t at = entry.find(" if "); at != std::string_view::npos) {
        condition = trimmed(entry.substr(at + 4));
        entry = trimmed(entry.substr(0, at));
    }
    const std::size_t blank = entry.find(' ');
    const std::size_t dash = entry.find('-');
    if (blank != 3 || dash == std::string_view::npos || dash < blank)
        return std::nullopt;
    const int index = parseConfigName(entry.substr(0, 2));
    const char bit = entry[2];
    const std::int32_t first = parseAddress(trimmed(entry.substr(blank + 1, dash - blank - 1)));
    const std::int32_t last = parseAddress(trimmed(entry.substr(dash + 1)));
    if (index < 0 || bit < '0' || bit > '7' || first < 0 || last < first)
        return std::nullopt;
    range.configIndex = static_cast<std::size_t>(index);
    range.bit = static_cast<std::uint8_t>(bit - '0');
    range.first = first;
    range.last = last;
    if (!condition.empty()) {
        // "4L&30=10": CONFIG4L masked with 30h equals 10h.
        const std::size_t amp = condition.find('&');
        const std::size_t equals = condition.find('=');
        if (amp != 2 || equals == std::string_view::npos || equals < amp)
            return std::nullopt;
        const int conditionIndex = parseConfigName(condition.substr(0, 2));
        const std::int32_t mask = parseAddress(condition.substr(amp + 1, equals - amp - 1));
        const std::int32_t value = parseAddress(condition.substr(equals + 1));
        if (conditionIndex < 0 || mask < 0 || mask > 0xFF || value < 0 || value > 0xFF)
            return std::nullopt;
        range.when = ProtectedRange::Condition{static_cast<std::size_t>(conditionIndex),
                                               static_cast<std::uint8_t>(mask),
                                               static_cast<std::uint8_t>(value)};
    }
    return range;
}

} // namespace

std::optional<DeviceIdSpec> parseDeviceId(std::string_view value) {
    value = trimmed(value);
    const std::string upper = toUpperAscii(value);
    const std::int32_t id = ParseHex4(std::string_view(upper).substr(0, 4));
    if (id < 0)
        return std::nullopt;
    if (upper.size() == 4)
        return DeviceIdSpec{static_cast<std::uint16_t>(id), 0xFFFF};
    const std::string_view rest = trimmed(std::string_view(upper).substr(4));
    const std::int32_t mask = upper[4] == ' ' && rest.size() == 4 ? ParseHex4(rest) : -1;
    if (mask < 0)
        return std::nullopt;
    return DeviceIdSpec{static_cast<std::uint16_t>(id), static_cast<std::uint16_t>(mask)};
}

bool ChipSafety::protects(const ConfigValues& config, std::int32_t address) const {
    return std::any_of(protection.begin(), protection.end(), [&](const ProtectedRange& range) {
        if (address < range.first || address > range.last)
            return false;
        const auto bit = static_cast<std::uint8_t>(1u << range.bit);
        if ((compareMask(range.configIndex) & bit) == 0 || (config[range.configIndex] & bit) != 0)
            return false;
        return !range.when ||
               (config[range.when->configIndex] & range.when->mask) == range.when->value;
    });
}

ChipSafety parseChipSafety(const DeviceModel& record) {
    ChipSafety safety;
    auto malformed = [&](DeviceKey key, const std::string& what, const std::string& form) {
        if (!safety.error)
            safety.error =
                record.sourceOf(key).prefix() + "The " +
                std::string(deviceKeyText(key).substr(0, deviceKeyText(key).size() - 1)) +
                " value '" + what + "' is not of the form " + form + ".";
    };
    if (!record.deviceid.empty()) {
        safety.deviceId = parseDeviceId(record.deviceid);
        if (!safety.deviceId)
            malformed(DeviceKey::DeviceId, record.deviceid, "'ID MASK' in hexadecimal (0420 FFE0)");
    }
    if (!record.configmask.empty()) {
        const ConfigValues mask = parseConfigErased(record.configmask);
        if (std::any_of(mask.begin(), mask.end(), [](std::int32_t v) { return v < 0; })) {
            malformed(DeviceKey::ConfigMask, record.configmask,
                      "14 hexadecimal pairs, CONFIG1L to CONFIG7H");
        } else {
            std::array<std::uint8_t, 14> bytes{};
            std::transform(mask.begin(), mask.end(), bytes.begin(),
                           [](std::int32_t v) { return static_cast<std::uint8_t>(v); });
            safety.configMask = bytes;
        }
    }
    if (!record.protect.empty()) {
        std::string_view rest = record.protect;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            const std::string_view entry = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            if (trimmed(entry).empty())
                continue;
            if (auto range = parseRange(entry)) {
                safety.protection.push_back(*range);
            } else {
                malformed(DeviceKey::Protect, std::string(trimmed(entry)),
                          "'BIT FIRST-LAST' (5L0 000800-001FFF, optionally 'if 4L&30=00')");
                break;
            }
        }
    }
    return safety;
}

} // namespace tessaline
