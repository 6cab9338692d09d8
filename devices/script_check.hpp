// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/device_script.hpp"
#include "devices/selected_model.hpp"

#include <optional>
#include <string>

namespace tessaline {

// Checks a script before an operation sends its first byte, so that no script can run
// forever, leave the unit powered or stop half-way on a word it cannot execute: every
// word must be an instruction whose hexadecimal fields parse; loops do not nest, every
// loop head needs a "loop" after it and every "loop" a head before it, and a loop body
// must move the address; no wait is longer than 10 s; a script that applies power with
// "begin" ends with "end"; the last instruction is not a check (a failed check jumps to
// it); and the model's power-up order is known. Returns the sentence that tells what is
// wrong, led by the file and line it stands on ("devices.cfg:12: ...") when they are known.
std::optional<std::string> checkScript(const DeviceScript& script, std::int32_t voltageSequence,
                                       const SourceLine& voltageSequenceSource = {});

// The same for the selected model's script of an operation, with the model's name after
// the place ("devices.cfg:12: 18F452: ..."); it also refuses a programming time outside 1
// to 30 ms when the script sends it.
std::optional<std::string> checkOperationScript(const DeviceScript& script,
                                                const SelectedModelValues& model);

// What keeps one word of the script from running at all: it is no instruction, or one of
// its hexadecimal fields does not parse. Led by the script's file and line when they are
// known.
std::optional<std::string> wordProblem(const DeviceScript& script, const ScriptStep& step);

} // namespace tessaline
