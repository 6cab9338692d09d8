// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace tessaline {

// File names travel through the program as UTF-8, as the window hands them over. A path
// made from a plain std::string takes it in the system's narrow encoding, which on Windows
// is the ANSI code page: a file named "Prüfung.hex" is then not found. A path made from
// UTF-8 code units names the file on every system; on Linux the bytes stay as they are.
inline std::filesystem::path pathFromUtf8(const std::string& name) {
    return {std::u8string(name.begin(), name.end())};
}

// The path as UTF-8, the inverse of pathFromUtf8.
inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
}

} // namespace tessaline
