// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/option_rules.hpp"

#include "buffer/text_rules.hpp"
#include "devices/prog_time_range.hpp"

#include <charconv>

namespace tessaline {

namespace {

// The serial port numbers the dialog offers.
constexpr char kFirstPort = '1';
constexpr char kLastPort = '8';

constexpr double kLowestBaud = 1200;
constexpr double kHighestBaud = 56000;

constexpr std::int32_t kLongestUnitDelay = 10000;

} // namespace

std::optional<std::int32_t> storedModel(std::string_view stored, std::int32_t modelCount) {
    const std::int32_t index = leadingWholeNumber(stored);
    if (index < 1 || index > modelCount)
        return std::nullopt;
    return index;
}

OptionEntry<std::int32_t> modelEntry(std::string_view entry, std::int32_t modelCount) {
    const std::optional<std::int32_t> index = storedModel(entry, modelCount);
    if (!index)
        return {EntryVerdict::Keep, 0};
    return {EntryVerdict::Take, *index};
}

std::int32_t storedPortNumber(std::string_view stored) {
    return leadingWholeNumber(stored);
}

OptionEntry<std::int32_t> portEntry(std::string_view entry) {
    if (entry.empty())
        return {EntryVerdict::Keep, 0};
    if (entry.size() == 1 && entry[0] >= kFirstPort && entry[0] <= kLastPort)
        return {EntryVerdict::Take, entry[0] - '0'};
    return {EntryVerdict::Wrong, 0};
}

OptionEntry<std::string> baudEntry(std::string_view entry) {
    const double rate = leadingNumber(entry);
    if (rate == 0)
        return {EntryVerdict::Keep, {}};
    if (rate >= kLowestBaud && rate <= kHighestBaud)
        return {EntryVerdict::Take, decimalText(rate)};
    return {EntryVerdict::Wrong, {}};
}

OptionEntry<std::int32_t> progTimeEntry(std::string_view entry) {
    if (entry.empty())
        return {EntryVerdict::Keep, 0};
    const double time = leadingNumber(entry);
    if (time >= kShortestProgTimeMs && time <= kLongestProgTimeMs)
        return {EntryVerdict::Take, roundHalfEven(time)};
    return {EntryVerdict::Wrong, 0};
}

OptionEntry<std::int32_t> unitDelayEntry(std::string_view entry) {
    if (entry.empty())
        return {EntryVerdict::Keep, 0};
    std::int32_t delay = 0;
    const auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), delay);
    if (error != std::errc() || end != entry.data() + entry.size() || entry[0] == '-' ||
        delay > kLongestUnitDelay)
        return {EntryVerdict::Wrong, 0};
    return {EntryVerdict::Take, delay};
}

std::int32_t storedUnitDelay(std::string_view stored) {
    const OptionEntry<std::int32_t> entry = unitDelayEntry(stored);
    return entry.verdict == EntryVerdict::Take ? entry.value : 0;
}

namespace {

// The settings store reads a slash as a group's end: the leading one of a path is left
// out.
std::string perPortSettingName(const char* group, std::string_view device) {
    while (!device.empty() && device.front() == '/')
        device.remove_prefix(1);
    return std::string(group) + "/" + std::string(device);
}

} // namespace

std::string unitTypeSettingName(std::string_view device) {
    return perPortSettingName(kSettingUnitType, device);
}

std::string fastBaudSettingName(std::string_view device) {
    return perPortSettingName(kSettingFastBaud, device);
}

std::optional<std::int32_t> fastBaudEntry(std::string_view text) {
    if (text == "0")
        return 0;
    for (const std::int32_t baud : kFastBauds)
        if (text == std::to_string(baud))
            return baud;
    return std::nullopt;
}

std::int32_t storedFastBaud(std::string_view stored) {
    return fastBaudEntry(stored).value_or(*fastBaudEntry(kDefaultFastBaud));
}

std::optional<CommandSet> unitTypeEntry(std::string_view text) {
    if (text == "original")
        return CommandSet::Original;
    if (text == "reference")
        return CommandSet::Reference;
    return std::nullopt;
}

const char* unitTypeText(CommandSet type) {
    return type == CommandSet::Reference ? "reference" : "original";
}

CommandSet storedUnitType(std::string_view stored) {
    return unitTypeEntry(stored).value_or(CommandSet::Original);
}

std::string serialSettingsText(const std::string& baudRate) {
    return baudRate + ",n,8,1";
}

std::string decimalText(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return {text, result.ptr};
}

} // namespace tessaline
