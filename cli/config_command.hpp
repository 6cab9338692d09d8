// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/application_values.hpp"

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaline {

// The configuration bytes with the model's named settings: for each byte its name,
// address and value, then one line per setting, "  NAME = OPTION" with the option's
// explanation, or "  NAME = ? (bits XXh)" when no option has the bits. Bits that lie
// outside configmask, or that no setting names, are noted once per byte where they
// differ from a blank chip.
std::string configurationText(const SelectedModelValues& model, const ConfigValues& config);

// True for a word of the form NAME=OPTION as the toolchains write a setting: letters,
// digits and underscores on both sides of one '=' ("OSC=HS"). A path with a folder or a
// file extension ("./OSC=HS", "a=b.hex") is not of the form.
bool hasSettingForm(const std::string& word);

// tessaline-cli config IN [OUT NAME=OPTION ...], with the selected model applied to the
// state: prints IN's configuration, or sets the settings, writes OUT as Save Buffer As
// does and prints the new configuration. IN without its end-of-file record may be cut
// short: OUT is then written only when allowNoEof. A setting given twice with two
// different options is a usage error; a malformed settings line in the model's record is
// a fault of the device file (exit status 1). Returns the exit status.
int runConfigCommand(const std::vector<std::string>& operands, ProgrammerState& state,
                     std::ostream& out, std::ostream& err, bool allowNoEof = false);

} // namespace tessaline
