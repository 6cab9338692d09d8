#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaline {

class SettingsStore;

// Exit statuses of the command-line tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFault = 1; // the file has a fault (or the chip is not as asked)
inline constexpr int kExitUsage = 2; // usage and file errors

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
