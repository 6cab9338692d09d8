// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/text_rules.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tessaline {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string toLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

double leadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    std::string number;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-')
            number.push_back('-');
        ++pos;
    }
    bool anyDigit = false;
    while (pos < text.size() && isDigit(text[pos])) {
        number.push_back(text[pos++]);
        anyDigit = true;
    }
    if (pos < text.size() && text[pos] == '.') {
        std::string fraction;
        ++pos;
        while (pos < text.size() && isDigit(text[pos]))
            fraction.push_back(text[pos++]);
        if (!fraction.empty()) {
            if (!anyDigit)
                number.push_back('0');
            number += '.' + fraction;
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    double value = 0.0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    return value;
}

std::int32_t roundHalfEven(double value) {
    if (std::isnan(value))
        return 0;
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    // std::nearbyint rounds in the default mode, to nearest with ties to even.
    const double rounded = std::nearbyint(value);
    if (rounded <= lowest)
        return std::numeric_limits<std::int32_t>::min();
    if (rounded >= highest)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

std::int32_t leadingWholeNumber(std::string_view text) {
    return roundHalfEven(leadingNumber(text));
}

} // namespace tessaline
