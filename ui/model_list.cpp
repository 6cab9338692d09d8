// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/model_list.hpp"

#include "buffer/text_rules.hpp"

namespace tessaline {

namespace {

std::string entry(const DeviceTable& table, std::size_t number) {
    return std::to_string(number) + ".\t" + toUpperAscii(table[number - 1].model);
}

std::string leftEntry(const DeviceTable& table, std::size_t number) {
    const std::string name = toUpperAscii(table[number - 1].model);
    // Up to ten characters fill a ten-character field, so a name of exactly ten gets no
    // blank; a longer name keeps one blank before the right column so that the two never
    // run together.
    const std::size_t padding = name.size() <= 10 ? 10 - name.size() : 1;
    return entry(table, number) + std::string(padding, ' ');
}

} // namespace

std::string modelListPrompt(const DeviceTable& table) {
    const std::size_t count = table.size();
    std::string prompt =
        "Select new microcontroller model [1-" + std::to_string(count) + "]:\r\n\r\n";
    const std::size_t half = count / 2;
    const std::size_t rightStart = count % 2 == 0 ? half + 1 : half + 2;
    for (std::size_t i = 1; i <= half; ++i)
        prompt += leftEntry(table, i) + "\t\t" + entry(table, rightStart + i - 1) + "\r\n";
    if (count % 2 == 1)
        prompt += leftEntry(table, half + 1) + "\r\n";
    return prompt;
}

} // namespace tessaline
