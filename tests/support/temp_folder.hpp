// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace tessaline::test {

// A fresh folder removed with its contents at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Path of a file in the folder, with the native separator, in UTF-8 as the programs
    // take file names.
    std::string file(const std::string& name) const;
    // The folder with a trailing separator.
    std::string path() const;
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;

private:
    std::filesystem::path m_dir;
};

} // namespace tessaline::test
