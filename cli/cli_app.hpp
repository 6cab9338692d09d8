// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/exit_status.hpp"

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaline {

class SettingsStore;

// Where the tool finds its device file and its settings.
struct CliEnvironment {
    std::string programFolder; // with a trailing separator
    SettingsStore* settings = nullptr;
    // Standard output is a terminal: progress shows as a bar.
    bool terminal = false;
};

// Runs one command line (without the program name) and returns its exit status.
int runCli(const std::vector<std::string>& args, const CliEnvironment& environment,
           std::ostream& out, std::ostream& err);

} // namespace tessaline
