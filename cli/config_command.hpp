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

// tessaline-cli config IN [OUT NAME=OPTION ...], with the selected model applied to the
// state: prints IN's configuration, or sets the settings, writes OUT as Save Buffer As
// does and prints the new configuration. IN without its end-of-file record may be cut
// short: OUT is then written only when allowNoEof. Returns the exit status.
int runConfigCommand(const std::vector<std::string>& operands, ProgrammerState& state,
                     std::ostream& out, std::ostream& err, bool allowNoEof = false);

} // namespace tessaline
