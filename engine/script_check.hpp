#pragma once

#include "devices/device_script.hpp"

#include <optional>
#include <string>

namespace tessaline {

// Checks a script before an operation sends its first byte: every word must be an
// instruction, its hexadecimal fields must parse, every loop head needs a "loop" after
// it, the last instruction must not be a check (a failed check jumps to it), and the
// model's power-up order must be known. Returns the sentence that tells what is wrong,
// led by the file and line it stands on ("devices.cfg:12: ...") when they are known.
std::optional<std::string> checkScript(const DeviceScript& script, std::int32_t voltageSequence,
                                       const SourceLine& voltageSequenceSource = {});

} // namespace tessaline
