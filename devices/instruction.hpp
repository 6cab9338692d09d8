#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaline {

// What a script word does, decided by the first matching row of the dispatch order.
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

struct Instruction {
    Op op = Op::Unrecognized;
    // The 4-bit command code of a transfer, or -1 when its digits do not parse.
    std::int32_t code = -1;
    // The 16-bit operand of a raw command, or -1.
    std::int32_t operand = -1;
    // CONFIG1L .. CONFIG7H as 0 .. 13 for the configuration words.
    std::int32_t configIndex = -1;
    // The pause of a wait word, rounded to whole milliseconds.
    std::int32_t waitMilliseconds = 0;

    // True for the words whose hexadecimal fields all parse (or that have none).
    bool fieldsParse() const;
    bool isCheck() const;
    bool isLoopHead() const { return op == Op::SetFlashLoop || op == Op::SetEepromLoop; }
    // True for the words that step CurrentAddress on, so that a loop around them ends.
    bool movesAddress() const;
};

// Decodes one lower-case script word in the engine's dispatch order.
Instruction decodeInstruction(std::string_view word);

// What an instruction does, in a few words: "write FLASH word, code 0Dh".
std::string describeInstruction(const Instruction& instruction);

} // namespace tessaline
