// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/instruction.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "buffer/text_rules.hpp"

namespace tessaline {

namespace {

// Hexadecimal digits taken by position and read in upper case, so that scripts may
// write them in either case.
std::int32_t hexField(std::string_view word, std::size_t position, std::size_t digits) {
    if (position >= word.size())
        return -1;
    const std::string field = toUpperAscii(word.substr(position, digits));
    return digits == 2 ? ParseHex2(field) : ParseHex4(field);
}

// Takes a configuration byte's name ("config1l" .. "config7h") off the start or the end
// of the text; its index, or -1 when the text has none there.
std::int32_t takeConfigName(std::string_view& text, bool atStart) {
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k) {
        const std::string_view name = kConfigBytes[k].scriptName;
        if (atStart ? text.starts_with(name) : text.ends_with(name)) {
            text = atStart ? text.substr(name.size()) : text.substr(0, text.size() - name.size());
            return static_cast<std::int32_t>(k);
        }
    }
    return -1;
}

// Whether the word is written as the row says; configIndex takes the configuration byte
// that it names.
bool matches(const WordTraits& row, std::string_view word, std::int32_t& configIndex) {
    if (row.form == WordForm::NoWord || !word.starts_with(row.head))
        return false;
    switch (row.form) {
    case WordForm::Whole:
    case WordForm::Leading: {
        std::string_view rest = word.substr(row.head.size());
        if (row.configName && (configIndex = takeConfigName(rest, true)) < 0)
            return false;
        return row.form == WordForm::Whole ? rest == row.tail : rest.starts_with(row.tail);
    }
    case WordForm::CodeFirst: {
        if (!word.ends_with(row.tail))
            return false;
        std::string_view rest = word.substr(0, word.size() - row.tail.size());
        if (row.configName && (configIndex = takeConfigName(rest, false)) < 0)
            return false;
        return rest.size() > row.head.size() && rest.ends_with('-');
    }
    case WordForm::RawWord:
        return word.size() == row.head.size() + 7 && word[row.head.size() + 2] == '-';
    case WordForm::WaitWord:
        return true;
    case WordForm::NoWord:
        break;
    }
    return false;
}

} // namespace

bool Instruction::fieldsParse() const {
    const WordTraits& row = traits();
    return (row.codeAt < 0 || code >= 0) && (row.form != WordForm::RawWord || operand >= 0);
}

Instruction decodeInstruction(std::string_view word) {
    Instruction instruction;
    for (const WordTraits& row : scriptWords()) {
        std::int32_t configIndex = -1;
        if (!matches(row, word, configIndex))
            continue;
        instruction.op = row.op;
        instruction.configIndex = configIndex;
        if (row.codeAt >= 0)
            instruction.code = hexField(word, static_cast<std::size_t>(row.codeAt), 2);
        if (row.form == WordForm::RawWord)
            instruction.operand = hexField(word, static_cast<std::size_t>(row.codeAt) + 3, 4);
        if (row.form == WordForm::WaitWord)
            instruction.waitMilliseconds = leadingWholeNumber(word.substr(row.head.size()));
        break;
    }
    return instruction;
}

namespace {

std::string codeText(std::int32_t code) {
    return code < 0 ? std::string("code ??") : "code " + Hex2(code) + "h";
}

std::string configName(std::int32_t index) {
    return "CONFIG" +
           toUpperAscii(kConfigBytes[static_cast<std::size_t>(index)].scriptName.substr(6));
}

} // namespace

std::string describeInstruction(const Instruction& instruction) {
    const WordTraits& row = instruction.traits();
    if (row.form == WordForm::RawWord)
        return codeText(instruction.code) + ", operand " +
               (instruction.operand < 0 ? std::string("????") : Hex4(instruction.operand)) + "h";
    if (row.form == WordForm::WaitWord)
        return "wait " + std::to_string(instruction.waitMilliseconds) + " ms";
    std::string text(row.description);
    if (row.configName)
        text += " " + configName(instruction.configIndex);
    if (row.memory == WordMemory::DeviceId)
        text += instruction.configIndex == 0 ? "1" : "2";
    if (row.codeAt >= 0)
        text += ", " + codeText(instruction.code);
    return text;
}

} // namespace tessaline
