#include "devices/instruction.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "devices/lenient_number.hpp"

#include <array>

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

// "-config1l" .. "-config7h" at the end of the word.
std::int32_t configSuffix(std::string_view word) {
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k) {
        const std::string_view name = kConfigBytes[k].scriptName;
        if (word.size() > name.size() && word.ends_with(name) &&
            word[word.size() - name.size() - 1] == '-')
            return static_cast<std::int32_t>(k);
    }
    return -1;
}

// "config1l" .. "config7h" followed by the given text at the start of the word.
std::int32_t configPrefix(std::string_view word, std::string_view after) {
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k) {
        const std::string_view name = kConfigBytes[k].scriptName;
        if (word.starts_with(name) && word.substr(name.size()).starts_with(after))
            return static_cast<std::int32_t>(k);
    }
    return -1;
}

// The given text followed by exactly "config1l" .. "config7h".
std::int32_t configWord(std::string_view word, std::string_view before) {
    if (!word.starts_with(before))
        return -1;
    const std::string_view rest = word.substr(before.size());
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k)
        if (rest == kConfigBytes[k].scriptName)
            return static_cast<std::int32_t>(k);
    return -1;
}

} // namespace

bool Instruction::fieldsParse() const {
    switch (op) {
    case Op::WriteFlash:
    case Op::WriteConfig:
    case Op::ReadFlash:
    case Op::ReadEeprom:
    case Op::ReadConfig:
    case Op::ReadTemp:
    case Op::ReadDeviceId:
    case Op::ReadCheckFlash:
    case Op::ReadCheckBlankFlash:
    case Op::ReadCheckEeprom:
    case Op::ReadCheckBlankEeprom:
    case Op::ReadCheckConfig:
    case Op::ReadCheckBlankConfig:
        return code >= 0;
    case Op::Raw:
        return code >= 0 && operand >= 0;
    default:
        return true;
    }
}

bool Instruction::movesAddress() const {
    switch (op) {
    case Op::ReadCheckFlash:
    case Op::ReadCheckBlankFlash:
    case Op::ReadCheckEeprom:
    case Op::ReadCheckBlankEeprom:
    case Op::MovlwEeprom:
    case Op::WriteFlash:
    case Op::ReadFlash:
    case Op::ReadEeprom:
    case Op::CheckBlankFlash:
    case Op::CheckBlankEeprom:
    case Op::CheckFlash:
    case Op::CheckEeprom:
        return true;
    default:
        return false;
    }
}

bool Instruction::isCheck() const {
    switch (op) {
    case Op::ReadCheckFlash:
    case Op::ReadCheckBlankFlash:
    case Op::ReadCheckEeprom:
    case Op::ReadCheckBlankEeprom:
    case Op::ReadCheckConfig:
    case Op::ReadCheckBlankConfig:
    case Op::CheckBlankFlash:
    case Op::CheckBlankEeprom:
    case Op::CheckBlankConfig:
    case Op::CheckFlash:
    case Op::CheckEeprom:
    case Op::CheckConfig:
        return true;
    default:
        return false;
    }
}

Instruction decodeInstruction(std::string_view word) {
    struct Fixed {
        std::string_view word;
        Op op;
    };
    static constexpr std::array<Fixed, 13> kFixed{{
        {"begin", Op::Begin},
        {"end", Op::End},
        {"startprog", Op::StartProg},
        {"setprogtime", Op::SetProgTime},
        {"calcflash", Op::CalcFlash},
        {"calceeprom", Op::CalcEeprom},
        {"setflashloop", Op::SetFlashLoop},
        {"seteepromloop", Op::SetEepromLoop},
        {"loop", Op::Loop},
        {"movlw-upper", Op::MovlwUpper},
        {"movlw-high", Op::MovlwHigh},
        {"movlw-low", Op::MovlwLow},
        {"movlw-eeprom", Op::MovlwEeprom},
    }};
    Instruction instruction;
    for (const Fixed& fixed : kFixed) {
        if (word == fixed.word) {
            instruction.op = fixed.op;
            return instruction;
        }
    }
    const bool startsWithS = !word.empty() && word.front() == 's';
    if (startsWithS && word.ends_with("-flash")) {
        instruction.op = Op::WriteFlash;
        instruction.code = hexField(word, 1, 2);
        return instruction;
    }
    if (startsWithS) {
        if (const std::int32_t k = configSuffix(word); k >= 0) {
            instruction.op = Op::WriteConfig;
            instruction.configIndex = k;
            instruction.code = hexField(word, 1, 2);
            return instruction;
        }
    }
    if (word == "waitwr") {
        instruction.op = Op::WaitWr;
        return instruction;
    }
    if (word.starts_with("flash=s")) {
        instruction.op = Op::ReadFlash;
        instruction.code = hexField(word, 7, 2);
        return instruction;
    }
    if (word.starts_with("eeprom=s")) {
        instruction.op = Op::ReadEeprom;
        instruction.code = hexField(word, 8, 2);
        return instruction;
    }
    if (const std::int32_t k = configPrefix(word, "=s"); k >= 0) {
        instruction.op = Op::ReadConfig;
        instruction.configIndex = k;
        instruction.code = hexField(word, 10, 2);
        return instruction;
    }
    if (word.starts_with("temp=s")) {
        instruction.op = Op::ReadTemp;
        instruction.code = hexField(word, 6, 2);
        return instruction;
    }
    if (word == "checkblankflash") {
        instruction.op = Op::CheckBlankFlash;
        return instruction;
    }
    if (word == "checkblankeeprom") {
        instruction.op = Op::CheckBlankEeprom;
        return instruction;
    }
    if (const std::int32_t k = configWord(word, "checkblank"); k >= 0) {
        instruction.op = Op::CheckBlankConfig;
        instruction.configIndex = k;
        return instruction;
    }
    if (word == "checkflash") {
        instruction.op = Op::CheckFlash;
        return instruction;
    }
    if (word == "checkeeprom") {
        instruction.op = Op::CheckEeprom;
        return instruction;
    }
    if (const std::int32_t k = configWord(word, "check"); k >= 0) {
        instruction.op = Op::CheckConfig;
        instruction.configIndex = k;
        return instruction;
    }
    // The read-and-check words: a check word, "=s" and the two digits of the read's code.
    struct ReadCheck {
        std::string_view prefix;
        Op op;
    };
    static constexpr std::array<ReadCheck, 4> kReadChecks{{
        {"checkflash=s", Op::ReadCheckFlash},
        {"checkblankflash=s", Op::ReadCheckBlankFlash},
        {"checkeeprom=s", Op::ReadCheckEeprom},
        {"checkblankeeprom=s", Op::ReadCheckBlankEeprom},
    }};
    for (const ReadCheck& readCheck : kReadChecks) {
        if (word.starts_with(readCheck.prefix)) {
            instruction.op = readCheck.op;
            instruction.code = hexField(word, readCheck.prefix.size(), 2);
            return instruction;
        }
    }
    for (const bool blank : {false, true}) {
        const std::string_view lead = blank ? "checkblank" : "check";
        if (!word.starts_with(lead))
            continue;
        if (const std::int32_t k = configPrefix(word.substr(lead.size()), "=s"); k >= 0) {
            instruction.op = blank ? Op::ReadCheckBlankConfig : Op::ReadCheckConfig;
            instruction.configIndex = k;
            instruction.code = hexField(word, lead.size() + 10, 2);
            return instruction;
        }
    }
    if (word == "ifverify" || word == "endverify") {
        instruction.op = word == "ifverify" ? Op::IfVerify : Op::EndVerify;
        return instruction;
    }
    if (word.size() == 8 && startsWithS && word[3] == '-') {
        instruction.op = Op::Raw;
        instruction.code = hexField(word, 1, 2);
        instruction.operand = hexField(word, 4, 4);
        return instruction;
    }
    if (!word.empty() && word.front() == 'w') {
        instruction.op = Op::Wait;
        instruction.waitMilliseconds = leadingWholeNumber(word.substr(1));
        return instruction;
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
    switch (instruction.op) {
    case Op::Begin:
        return "power up";
    case Op::End:
        return "power down";
    case Op::StartProg:
        return "programming pulse";
    case Op::SetProgTime:
        return "send the programming time";
    case Op::CalcFlash:
        return "find the last FLASH byte in use";
    case Op::CalcEeprom:
        return "find the last EEPROM byte in use";
    case Op::SetFlashLoop:
        return "loop over FLASH";
    case Op::SetEepromLoop:
        return "loop over EEPROM";
    case Op::Loop:
        return "end of loop";
    case Op::MovlwUpper:
        return "MOVLW address bits 16-23";
    case Op::MovlwHigh:
        return "MOVLW address bits 8-15";
    case Op::MovlwLow:
        return "MOVLW address bits 0-7";
    case Op::MovlwEeprom:
        return "MOVLW EEPROM byte";
    case Op::WriteFlash:
        return "write FLASH word, " + codeText(instruction.code);
    case Op::WriteConfig:
        return "write " + configName(instruction.configIndex) + ", " + codeText(instruction.code);
    case Op::WaitWr:
        return "wait for the write cycle to end";
    case Op::ReadFlash:
        return "read FLASH byte, " + codeText(instruction.code);
    case Op::ReadEeprom:
        return "read EEPROM byte, " + codeText(instruction.code);
    case Op::ReadConfig:
        return "read " + configName(instruction.configIndex) + ", " + codeText(instruction.code);
    case Op::ReadTemp:
        return "read for a check, " + codeText(instruction.code);
    case Op::CheckBlankFlash:
        return "blank check FLASH byte";
    case Op::CheckBlankEeprom:
        return "blank check EEPROM byte";
    case Op::CheckBlankConfig:
        return "blank check " + configName(instruction.configIndex);
    case Op::CheckFlash:
        return "verify FLASH byte";
    case Op::CheckEeprom:
        return "verify EEPROM byte";
    case Op::CheckConfig:
        return "verify " + configName(instruction.configIndex);
    case Op::Raw:
        return codeText(instruction.code) + ", operand " +
               (instruction.operand < 0 ? std::string("????") : Hex4(instruction.operand)) + "h";
    case Op::ReadCheckFlash:
        return "read and verify FLASH byte, " + codeText(instruction.code);
    case Op::ReadCheckBlankFlash:
        return "read and blank-check FLASH byte, " + codeText(instruction.code);
    case Op::ReadCheckEeprom:
        return "read and verify EEPROM byte, " + codeText(instruction.code);
    case Op::ReadCheckBlankEeprom:
        return "read and blank-check EEPROM byte, " + codeText(instruction.code);
    case Op::ReadCheckConfig:
        return "read and verify " + configName(instruction.configIndex) + ", " +
               codeText(instruction.code);
    case Op::ReadCheckBlankConfig:
        return "read and blank-check " + configName(instruction.configIndex) + ", " +
               codeText(instruction.code);
    case Op::IfVerify:
        return "verify after programming: begin";
    case Op::EndVerify:
        return "verify after programming: end";
    case Op::Wait:
        return "wait " + std::to_string(instruction.waitMilliseconds) + " ms";
    case Op::ReadDeviceId:
        return "read " + std::string(instruction.configIndex == 0 ? "DEVID1" : "DEVID2") + ", " +
               codeText(instruction.code);
    case Op::Unrecognized:
        break;
    }
    return "not an instruction";
}

} // namespace tessaline
