// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessaline {

// HEX and device files are read only when they are ordinary files of a sane size. A FIFO
// would block the program, a device such as /dev/zero never ends, and a huge (perhaps
// sparse) file would take all memory: a full 2 MiB part is about 6 MB of Intel HEX.
inline constexpr std::uint64_t kMaxTextFileBytes = std::uint64_t{16} * 1024 * 1024;

// Reads a file, named in UTF-8, piece by piece and calls visit(line) for every line, with
// the line ends of forEachLine (CR LF, lone CR, lone LF; a last line without one counts
// too); visit returns false to stop early. Memory stays bounded by the size limit. Returns why the
// file could not be read, empty when it was read: the system's reason, "Not a regular
// file", or "File too large (more than 16 MiB)". A file can fail after some of its lines
// were visited, when it grows past the limit while being read.
std::string readTextFileLines(const std::string& name,
                              const std::function<bool(std::string_view)>& visit,
                              std::uint64_t maxBytes = kMaxTextFileBytes);

} // namespace tessaline
