// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/instruction.hpp"
#include "devices/source_line.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// One word of a script with the instruction it decodes to.
struct ScriptStep {
    std::string word; // in lower case, blanks kept
    Instruction instruction;
};

// A script of the device file, decoded once when its model is applied: the operation's
// start check and the engine both work from these steps.
struct DeviceScript {
    std::vector<ScriptStep> steps;
    // The line of the file that holds the script.
    SourceLine source;

    std::size_t size() const { return steps.size(); }
    std::vector<std::string> words() const;
};

// Splits a script value at commas, in lower case; blanks stay part of the words, a
// final comma adds no word and an empty value gives one empty word.
std::vector<std::string> splitScript(std::string_view value);

// Splits and decodes a script value; an empty value gives one empty (unrecognised) word.
DeviceScript decodeScript(std::string_view value, SourceLine source = {});

} // namespace tessaline
