// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/script_words.hpp"

#include "buffer/config_bytes.hpp"

#include <array>

namespace tessaline {

namespace {

using enum WordForm;
using enum WordMemory;
using enum CheckKind;

// op, form, head, config, tail, code at, memory, check, reads first, moves the address,
// description
constexpr std::array kWords{
    WordTraits{Op::Begin, Whole, "begin", false, "", -1, Nowhere, NoCheck, false, false,
               "power up"},
    WordTraits{Op::End, Whole, "end", false, "", -1, Nowhere, NoCheck, false, false, "power down"},
    WordTraits{Op::StartProg, Whole, "startprog", false, "", -1, Nowhere, NoCheck, false, false,
               "programming pulse"},
    WordTraits{Op::SetProgTime, Whole, "setprogtime", false, "", -1, Nowhere, NoCheck, false, false,
               "send the programming time"},
    WordTraits{Op::CalcFlash, Whole, "calcflash", false, "", -1, Nowhere, NoCheck, false, false,
               "find the last FLASH byte in use"},
    WordTraits{Op::CalcEeprom, Whole, "calceeprom", false, "", -1, Nowhere, NoCheck, false, false,
               "find the last EEPROM byte in use"},
    WordTraits{Op::SetFlashLoop, Whole, "setflashloop", false, "", -1, Nowhere, NoCheck, false,
               false, "loop over FLASH"},
    WordTraits{Op::SetEepromLoop, Whole, "seteepromloop", false, "", -1, Nowhere, NoCheck, false,
               false, "loop over EEPROM"},
    WordTraits{Op::Loop, Whole, "loop", false, "", -1, Nowhere, NoCheck, false, false,
               "end of loop"},
    WordTraits{Op::MovlwUpper, Whole, "movlw-upper", false, "", -1, Nowhere, NoCheck, false, false,
               "MOVLW address bits 16-23"},
    WordTraits{Op::MovlwHigh, Whole, "movlw-high", false, "", -1, Nowhere, NoCheck, false, false,
               "MOVLW address bits 8-15"},
    WordTraits{Op::MovlwLow, Whole, "movlw-low", false, "", -1, Nowhere, NoCheck, false, false,
               "MOVLW address bits 0-7"},
    WordTraits{Op::MovlwEeprom, Whole, "movlw-eeprom", false, "", -1, Eeprom, NoCheck, false, true,
               "MOVLW EEPROM byte"},
    WordTraits{Op::WriteFlash, CodeFirst, "s", false, "flash", 1, Flash, NoCheck, false, true,
               "write FLASH word"},
    WordTraits{Op::WriteConfig, CodeFirst, "s", true, "", 1, Config, NoCheck, false, false,
               "write"},
    WordTraits{Op::WaitWr, Whole, "waitwr", false, "", -1, Nowhere, NoCheck, false, false,
               "wait for the write cycle to end"},
    WordTraits{Op::ReadFlash, Leading, "flash=s", false, "", 7, Flash, NoCheck, false, true,
               "read FLASH byte"},
    WordTraits{Op::ReadEeprom, Leading, "eeprom=s", false, "", 8, Eeprom, NoCheck, false, true,
               "read EEPROM byte"},
    WordTraits{Op::ReadConfig, Leading, "", true, "=s", 10, Config, NoCheck, false, false, "read"},
    WordTraits{Op::ReadTemp, Leading, "temp=s", false, "", 6, Nowhere, NoCheck, false, false,
               "read for a check"},
    WordTraits{Op::CheckBlankFlash, Whole, "checkblankflash", false, "", -1, Flash, Blank, false,
               true, "blank check FLASH byte"},
    WordTraits{Op::CheckBlankEeprom, Whole, "checkblankeeprom", false, "", -1, Eeprom, Blank, false,
               true, "blank check EEPROM byte"},
    WordTraits{Op::CheckBlankConfig, Whole, "checkblank", true, "", -1, Config, Blank, false, false,
               "blank check"},
    WordTraits{Op::CheckFlash, Whole, "checkflash", false, "", -1, Flash, Verify, false, true,
               "verify FLASH byte"},
    WordTraits{Op::CheckEeprom, Whole, "checkeeprom", false, "", -1, Eeprom, Verify, false, true,
               "verify EEPROM byte"},
    WordTraits{Op::CheckConfig, Whole, "check", true, "", -1, Config, Verify, false, false,
               "verify"},
    WordTraits{Op::ReadCheckFlash, Leading, "checkflash=s", false, "", 12, Flash, Verify, true,
               true, "read and verify FLASH byte"},
    WordTraits{Op::ReadCheckBlankFlash, Leading, "checkblankflash=s", false, "", 17, Flash, Blank,
               true, true, "read and blank-check FLASH byte"},
    WordTraits{Op::ReadCheckEeprom, Leading, "checkeeprom=s", false, "", 13, Eeprom, Verify, true,
               true, "read and verify EEPROM byte"},
    WordTraits{Op::ReadCheckBlankEeprom, Leading, "checkblankeeprom=s", false, "", 18, Eeprom,
               Blank, true, true, "read and blank-check EEPROM byte"},
    WordTraits{Op::ReadCheckConfig, Leading, "check", true, "=s", 15, Config, Verify, true, false,
               "read and verify"},
    WordTraits{Op::ReadCheckBlankConfig, Leading, "checkblank", true, "=s", 20, Config, Blank, true,
               false, "read and blank-check"},
    WordTraits{Op::IfVerify, Whole, "ifverify", false, "", -1, Nowhere, NoCheck, false, false,
               "verify after programming: begin"},
    WordTraits{Op::EndVerify, Whole, "endverify", false, "", -1, Nowhere, NoCheck, false, false,
               "verify after programming: end"},
    // "code 0Ch, operand 8F8Fh" and "wait 50 ms": the description is built from the fields.
    WordTraits{Op::Raw, RawWord, "s", false, "", 1, Nowhere, NoCheck, false, false, ""},
    WordTraits{Op::Wait, WaitWord, "w", false, "", -1, Nowhere, NoCheck, false, false, ""},
    // The identify sequence names its two reads "devid1=s09" and "devid2=s09".
    WordTraits{Op::ReadDeviceId, NoWord, "", false, "", 8, DeviceId, NoCheck, false, false,
               "read DEVID"},
    WordTraits{Op::Unrecognized, NoWord, "", false, "", -1, Nowhere, NoCheck, false, false,
               "not an instruction"},
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
