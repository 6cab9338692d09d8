// SPDX-License-Identifier: GPL-3.0-or-later
#include "buffer/text_file.hpp"

#include "buffer/file_path.hpp"

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tessaline {

namespace {

std::string tooLarge(std::uint64_t maxBytes) {
    return "File too large (more than " + std::to_string(maxBytes / (1024 * 1024)) + " MiB)";
}

// Splits a stream of pieces into lines; a CR at the end of one piece and an LF at the
// start of the next make one line end.
class LineSplitter {
public:
    explicit LineSplitter(const std::function<bool(std::string_view)>& visit) : m_visit(visit) {}

    // False once visit asked to stop.
    bool feed(std::string_view piece) {
        std::size_t start = 0;
        if (m_afterCr && !piece.empty() && piece.front() == '\n')
            start = 1;
        m_afterCr = false;
        while (start < piece.size()) {
            const std::size_t end = piece.find_first_of("\r\n", start);
            if (end == std::string_view::npos) {
                m_line.append(piece.substr(start));
                return true;
            }
            m_line.append(piece.substr(start, end - start));
            if (!emit())
                return false;
            start = end + 1;
            if (piece[end] == '\r') {
                if (start == piece.size())
                    m_afterCr = true;
                else if (piece[start] == '\n')
                    ++start;
            }
        }
        return true;
    }

    void finish() {
        if (!m_line.empty())
            emit();
    }

private:
    bool emit() {
        const bool more = m_visit(m_line);
        m_line.clear();
        return more;
    }

    const std::function<bool(std::string_view)>& m_visit;
    std::string m_line;
    bool m_afterCr = false;
};

} // namespace

std::string readTextFileLines(const std::string& name,
                              const std::function<bool(std::string_view)>& visit,
                              std::uint64_t maxBytes) {
    const std::filesystem::path path = pathFromUtf8(name);
    // Look before opening: opening a FIFO for reading waits for a writer.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error)
        return error.message();
    if (!std::filesystem::is_regular_file(status))
        return "Not a regular file";
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return error.message();
    if (size > maxBytes)
        return tooLarge(maxBytes);

    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::error_code(errno != 0 ? errno : EIO, std::generic_category()).message();
    LineSplitter lines(visit);
    std::array<char, 64 * 1024> piece{};
    std::uint64_t total = 0;
    while (file) {
        file.read(piece.data(), piece.size());
        const auto count = static_cast<std::size_t>(file.gcount());
        if (count == 0)
            break;
        // Files whose size the system does not know in advance (those of /proc, one that
        // grows while it is read) stop at the limit too.
        total += count;
        if (total > maxBytes)
            return tooLarge(maxBytes);
        if (!lines.feed(std::string_view(piece.data(), count)))
            return {};
    }
    if (file.bad())
        return std::error_code(EIO, std::generic_category()).message();
    lines.finish();
    return {};
}

} // namespace tessaline
