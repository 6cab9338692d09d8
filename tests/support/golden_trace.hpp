// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The golden traces of tests/sim/golden: what the five operations and identify send to a
// unit of type "original", as the engine sent it when they were written.

#include "protocol/command_framer.hpp"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessaline::test {

// The bytes as text: one line per pass of a loop (a line ends with the commands 100 that
// end a pass), each byte in hexadecimal, and a run of equal lines as one line with "*N"
// after it.
inline std::string goldenTraceText(const std::vector<std::uint8_t>& bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    std::vector<std::string> lines(1);
    CommandFramer framer(CommandSet::Original, 0);
    bool passEnded = false;
    for (const std::uint8_t byte : bytes) {
        const CommandFramer::Event event = framer.take(byte, 0);
        if (passEnded && framer.position() == 0 && byte != kCmdNop)
            lines.emplace_back();
        passEnded = passEnded && byte == kCmdNop;
        std::string& line = lines.back();
        if (!line.empty())
            line += ' ';
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
        if (event == CommandFramer::kComplete && framer.command() == kCmdNop)
            passEnded = true;
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size();) {
        std::size_t run = 1;
        while (i + run < lines.size() && lines[i + run] == lines[i])
            ++run;
        text += lines[i] + (run > 1 ? " *" + std::to_string(run) : std::string()) + '\n';
        i += run;
    }
    return text;
}

inline std::string goldenTracePath(const std::string& model, const std::string& step) {
    return std::string(TESSALINE_SOURCE_DIR "/tests/sim/golden/") + model + "-" + step + ".trace";
}

// The golden trace of the model's step ("identify", "erase", "blank", "program",
// "verify", "read").
inline std::string goldenTrace(const std::string& model, const std::string& step) {
    std::ifstream in(goldenTracePath(model, step), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace tessaline::test
