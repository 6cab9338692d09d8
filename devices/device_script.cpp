// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/device_script.hpp"

#include "buffer/text_rules.hpp"

namespace tessaline {

std::vector<std::string> DeviceScript::words() const {
    std::vector<std::string> result;
    result.reserve(steps.size());
    for (const ScriptStep& step : steps)
        result.push_back(step.word);
    return result;
}

std::vector<std::string> splitScript(std::string_view value) {
    std::string text = toLowerAscii(value);
    if (text.empty() || text.back() != ',')
        text.push_back(',');
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = text.find(',', start);
        words.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return words;
}

DeviceScript decodeScript(std::string_view value, SourceLine source) {
    DeviceScript script;
    script.source = std::move(source);
    for (std::string& word : splitScript(value)) {
        const Instruction instruction = decodeInstruction(word);
        script.steps.push_back({std::move(word), instruction});
    }
    return script;
}

} // namespace tessaline
