// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/script_words.hpp"

#include "buffer/config_bytes.hpp"

#include <array>

namespace tessaline {

namespace {

using enum WordForm;
using enum WordMemory;
using enum CheckKind;

constexpr std::array kWords{
    WordTraits{.op = Op::Begin, .head = "begin", .description = "power up"},
    WordTraits{.op = Op::End, .head = "end", .description = "power down"},
    WordTraits{.op = Op::StartProg, .head = "startprog", .description = "programming pulse"},
    WordTraits{
        .op = Op::SetProgTime, .head = "setprogtime", .description = "send the programming time"},
    WordTraits{
        .op = Op::CalcFlash, .head = "calcflash", .description = "find the last FLASH byte in use"},
    WordTraits{.op = Op::CalcEeprom,
               .head = "calceeprom",
               .description = "find the last EEPROM byte in use"},
    WordTraits{.op = Op::SetFlashLoop, .head = "setflashloop", .description = "loop over FLASH"},
    WordTraits{.op = Op::SetEepromLoop, .head = "seteepromloop", .description = "loop over EEPROM"},
    WordTraits{.op = Op::Loop, .head = "loop", .description = "end of loop"},
    WordTraits{
        .op = Op::MovlwUpper, .head = "movlw-upper", .description = "MOVLW address bits 16-23"},
    WordTraits{.op = Op::MovlwHigh, .head = "movlw-high", .description = "MOVLW address bits 8-15"},
    WordTraits{.op = Op::MovlwLow, .head = "movlw-low", .description = "MOVLW address bits 0-7"},
    WordTraits{.op = Op::MovlwEeprom,
               .head = "movlw-eeprom",
               .memory = Eeprom,
               .movesAddress = true,
               .description = "MOVLW EEPROM byte"},
    WordTraits{.op = Op::WriteFlash,
               .form = CodeFirst,
               .head = "s",
               .tail = "flash",
               .codeAt = 1,
               .memory = Flash,
               .movesAddress = true,
               .description = "write FLASH word"},
    WordTraits{.op = Op::WriteConfig,
               .form = CodeFirst,
               .head = "s",
               .configName = true,
               .codeAt = 1,
               .memory = Config,
               .description = "write"},
    WordTraits{
        .op = Op::WaitWr, .head = "waitwr", .description = "wait for the write cycle to end"},
    WordTraits{.op = Op::ReadFlash,
               .form = Leading,
               .head = "flash=s",
               .codeAt = 7,
               .memory = Flash,
               .movesAddress = true,
               .description = "read FLASH byte"},
    WordTraits{.op = Op::ReadEeprom,
               .form = Leading,
               .head = "eeprom=s",
               .codeAt = 8,
               .memory = Eeprom,
               .movesAddress = true,
               .description = "read EEPROM byte"},
    WordTraits{.op = Op::ReadConfig,
               .form = Leading,
               .configName = true,
               .tail = "=s",
               .codeAt = 10,
               .memory = Config,
               .description = "read"},
    WordTraits{.op = Op::ReadTemp,
               .form = Leading,
               .head = "temp=s",
               .codeAt = 6,
               .description = "read for a check"},
    WordTraits{.op = Op::CheckBlankFlash,
               .head = "checkblankflash",
               .memory = Flash,
               .check = Blank,
               .movesAddress = true,
               .description = "blank check FLASH byte"},
    WordTraits{.op = Op::CheckBlankEeprom,
               .head = "checkblankeeprom",
               .memory = Eeprom,
               .check = Blank,
               .movesAddress = true,
               .description = "blank check EEPROM byte"},
    WordTraits{.op = Op::CheckBlankConfig,
               .head = "checkblank",
               .configName = true,
               .memory = Config,
               .check = Blank,
               .description = "blank check"},
    WordTraits{.op = Op::CheckFlash,
               .head = "checkflash",
               .memory = Flash,
               .check = Verify,
               .movesAddress = true,
               .description = "verify FLASH byte"},
    WordTraits{.op = Op::CheckEeprom,
               .head = "checkeeprom",
               .memory = Eeprom,
               .check = Verify,
               .movesAddress = true,
               .description = "verify EEPROM byte"},
    WordTraits{.op = Op::CheckConfig,
               .head = "check",
               .configName = true,
               .memory = Config,
               .check = Verify,
               .description = "verify"},
    WordTraits{.op = Op::ReadCheckFlash,
               .form = Leading,
               .head = "checkflash=s",
               .codeAt = 12,
               .memory = Flash,
               .check = Verify,
               .readsFirst = true,
               .movesAddress = true,
               .description = "read and verify FLASH byte"},
    WordTraits{.op = Op::ReadCheckBlankFlash,
               .form = Leading,
               .head = "checkblankflash=s",
               .codeAt = 17,
               .memory = Flash,
               .check = Blank,
               .readsFirst = true,
               .movesAddress = true,
               .description = "read and blank-check FLASH byte"},
    WordTraits{.op = Op::ReadCheckEeprom,
               .form = Leading,
               .head = "checkeeprom=s",
               .codeAt = 13,
               .memory = Eeprom,
               .check = Verify,
               .readsFirst = true,
               .movesAddress = true,
               .description = "read and verify EEPROM byte"},
    WordTraits{.op = Op::ReadCheckBlankEeprom,
               .form = Leading,
               .head = "checkblankeeprom=s",
               .codeAt = 18,
               .memory = Eeprom,
               .check = Blank,
               .readsFirst = true,
               .movesAddress = true,
               .description = "read and blank-check EEPROM byte"},
    WordTraits{.op = Op::ReadCheckConfig,
               .form = Leading,
               .head = "check",
               .configName = true,
               .tail = "=s",
               .codeAt = 15,
               .memory = Config,
               .check = Verify,
               .readsFirst = true,
               .description = "read and verify"},
    WordTraits{.op = Op::ReadCheckBlankConfig,
               .form = Leading,
               .head = "checkblank",
               .configName = true,
               .tail = "=s",
               .codeAt = 20,
               .memory = Config,
               .check = Blank,
               .readsFirst = true,
               .description = "read and blank-check"},
    WordTraits{
        .op = Op::IfVerify, .head = "ifverify", .description = "verify after programming: begin"},
    WordTraits{
        .op = Op::EndVerify, .head = "endverify", .description = "verify after programming: end"},
    // "code 0Ch, operand 8F8Fh" and "wait 50 ms": the description is built from the fields.
    WordTraits{.op = Op::Raw, .form = RawWord, .head = "s", .codeAt = 1},
    WordTraits{.op = Op::Wait, .form = WaitWord, .head = "w"},
    // The identify sequence names its two reads "devid1=s09" and "devid2=s09".
    WordTraits{.op = Op::ReadDeviceId,
               .form = NoWord,
               .codeAt = 8,
               .memory = DeviceId,
               .description = "read DEVID"},
    WordTraits{.op = Op::Unrecognized, .form = NoWord, .description = "not an instruction"},
};

// Each row stands at its Op's place, and a code's digits follow the pattern's text.
constexpr bool tableHolds() {
    const std::size_t configName = kConfigBytes[0].scriptName.size();
    for (std::size_t i = 0; i < kWords.size(); ++i) {
        const WordTraits& row = kWords[i];
        if (static_cast<std::size_t>(row.op) != i)
            return false;
        const std::size_t pattern = row.head.size() + (row.configName ? configName : 0);
        if (row.form == Leading && row.codeAt != static_cast<int>(pattern + row.tail.size()))
            return false;
        if ((row.form == CodeFirst || row.form == RawWord) &&
            row.codeAt != static_cast<int>(row.head.size()))
            return false;
    }
    return kWords.back().op == Op::Unrecognized;
}
static_assert(tableHolds());

} // namespace

std::span<const WordTraits> scriptWords() {
    return kWords;
}

const WordTraits& wordTraits(Op op) {
    return kWords[static_cast<std::size_t>(op)];
}

} // namespace tessaline
