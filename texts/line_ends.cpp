// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/line_ends.hpp"

namespace tessaline {

std::string crlfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

} // namespace tessaline
