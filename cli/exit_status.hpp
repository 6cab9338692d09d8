// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tessaline {

// Exit statuses of the command-line tool: one per kind of failure, the same for every
// command. The text of every failure goes to standard error.
inline constexpr int kExitOk = 0;
// A file's content is at fault (a HEX file, or the device file's record for the model), or
// the chip is not blank or does not verify.
inline constexpr int kExitFault = 1;
// The command line is wrong, or a file cannot be read or written.
inline constexpr int kExitUsage = 2;
// The port cannot be opened or fails, or the unit stops answering or sends bytes that no
// command asked for.
inline constexpr int kExitPort = 3;
// The chip in the socket is not the selected model, or no chip answers.
inline constexpr int kExitWrongDevice = 4;
// Stopped by a signal: 128 + its number (129 SIGHUP, 130 SIGINT, 143 SIGTERM).
inline constexpr int kExitSignalBase = 128;
// Stopped, as by SIGINT.
inline constexpr int kExitStopped = 130;

} // namespace tessaline
