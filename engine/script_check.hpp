#pragma once

#include "devices/selected_model.hpp"

#include <optional>
#include <string>

namespace tessaline {

// Checks a script before an operation sends its first byte: every word must be an
// instruction, its hexadecimal fields must parse, every loop head needs a "loop" after
// it, the last instruction must not be a check (a failed check jumps to it), and the
// model's power-up order must be known. Returns the sentence that tells what is wrong.
std::optional<std::string> checkScript(const Script& script, std::int32_t voltageSequence);

} // namespace tessaline
