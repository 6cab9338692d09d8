// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/script_words.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaline {

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

    const WordTraits& traits() const { return wordTraits(op); }
    // True for the words whose hexadecimal fields all parse (or that have none).
    bool fieldsParse() const;
    bool isCheck() const { return traits().check != CheckKind::NoCheck; }
    bool isLoopHead() const { return op == Op::SetFlashLoop || op == Op::SetEepromLoop; }
    // True for the words that step CurrentAddress on, so that a loop around them ends.
    bool movesAddress() const { return traits().movesAddress; }
};

// Decodes one lower-case script word: the first row of the word table that it matches.
Instruction decodeInstruction(std::string_view word);

// What an instruction does, in a few words: "write FLASH word, code 0Dh".
std::string describeInstruction(const Instruction& instruction);

} // namespace tessaline
