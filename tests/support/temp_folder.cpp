#include "tests/support/temp_folder.hpp"

#include <QDir>

#include <fstream>
#include <sstream>

namespace tessaline::test {

TempFolder::TempFolder() = default;

std::string TempFolder::path() const {
    return QDir::toNativeSeparators(m_dir.path() + QDir::separator()).toStdString();
}

std::string TempFolder::file(const std::string& name) const {
    return path() + name;
}

void TempFolder::write(const std::string& name, const std::string& content) const {
    std::ofstream out(file(name), std::ios::binary);
    out << content;
}

std::string TempFolder::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace tessaline::test
