// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/temp_folder.hpp"

#include "buffer/file_path.hpp"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tessaline::test {

TempFolder::TempFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / ("tessaline-test-" + std::to_string(random() % 100000000000ULL));
        if (std::filesystem::create_directory(candidate)) {
            m_dir = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string TempFolder::path() const {
    return utf8FromPath((m_dir / "").make_preferred());
}

std::string TempFolder::file(const std::string& name) const {
    return path() + name;
}

void TempFolder::write(const std::string& name, const std::string& content) const {
    std::ofstream out(pathFromUtf8(file(name)), std::ios::binary);
    out << content;
}

std::string TempFolder::read(const std::string& name) const {
    std::ifstream in(pathFromUtf8(file(name)), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace tessaline::test
