// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tessaline {

// What a script word does. The order is the dispatch order: a word decodes to the first
// row of the word table that it matches. A new word takes its place here, its row in the
// table (script_words.cpp) and its case in ScriptEngine::execute.
enum class Op {
    Begin,
    End,
    StartProg,
    SetProgTime,
    CalcFlash,
    CalcEeprom,
    SetFlashLoop,
    SetEepromLoop,
    Loop,
    MovlwUpper,
    MovlwHigh,
    MovlwLow,
    MovlwEeprom,
    WriteFlash,  // "s" code ... "-flash"
    WriteConfig, // "s" code ... "-config1l" .. "-config7h"
    WaitWr,
    ReadFlash,  // "flash=s" code
    ReadEeprom, // "eeprom=s" code
    ReadConfig, // "config1l=s" code .. "config7h=s" code
    ReadTemp,   // "temp=s" code
    CheckBlankFlash,
    CheckBlankEeprom,
    CheckBlankConfig,
    CheckFlash,
    CheckEeprom,
    CheckConfig,
    // Read a byte and check it as it arrives, in two commands: "checkflash=s" code,
    // "checkblankflash=s" code, "checkeeprom=s" code, "checkblankeeprom=s" code,
    // "checkconfig1l=s" code .. and "checkblankconfig1l=s" code ..
    ReadCheckFlash,
    ReadCheckBlankFlash,
    ReadCheckEeprom,
    ReadCheckBlankEeprom,
    ReadCheckConfig,
    ReadCheckBlankConfig,
    // "ifverify" .. "endverify": a block that runs only when Program All verifies what
    // it wrote; skipped otherwise.
    IfVerify,
    EndVerify,
    Raw,  // "s" code "-" operand, eight characters
    Wait, // "w" milliseconds
    // Reads a byte of the device ID (configIndex 0: DEVID1, 1: DEVID2); the engine's own
    // identify sequence uses it, no script word decodes to it.
    ReadDeviceId,
    Unrecognized,
};

// How a word is written. "[config]" stands for one of "config1l" .. "config7h".
enum class WordForm {
    Whole,     // head [config] tail and nothing more: "begin", "checkblankconfig2h"
    Leading,   // head [config] tail, then the code's two digits: "flash=s09", "config1l=s09"
    CodeFirst, // head, the code's two digits, anything, "-" [config] tail: "s0d-flash"
    RawWord,   // head, the code's two digits, "-", the operand's four digits: "s00-0e3f"
    WaitWord,  // head, then a number of milliseconds: "w2.5"
    NoWord,    // no script word decodes to it
};

// The memory whose byte a word writes, reads or checks, which the status line shows.
enum class WordMemory { Nowhere, Flash, Eeprom, Config, DeviceId };

// The check a word makes on a byte read from the chip.
enum class CheckKind { NoCheck, Blank, Verify };

// Everything about a script word but what the engine does for it. A row of the word table
// names only what differs from these defaults.
struct WordTraits {
    Op op = Op::Unrecognized;
    // The pattern: how the word is written, and where the 4-bit command code's two
    // hexadecimal digits begin (-1 for a word without one).
    WordForm form = WordForm::Whole;
    std::string_view head = {};
    bool configName = false; // a configuration byte's name follows the head
    std::string_view tail = {};
    int codeAt = -1;
    WordMemory memory = WordMemory::Nowhere;
    CheckKind check = CheckKind::NoCheck;
    // Reads the byte it checks with two commands of its own, rather than checking the
    // byte that an earlier "temp=s" word read.
    bool readsFirst = false;
    // Steps CurrentAddress on, so that a loop around it ends.
    bool movesAddress = false;
    // What it does, in a few words; the configuration byte's name and ", code 0Dh" follow
    // where the word has them.
    std::string_view description = {};
};

// Every word, one row per Op in the order of Op.
std::span<const WordTraits> scriptWords();

const WordTraits& wordTraits(Op op);

} // namespace tessaline
