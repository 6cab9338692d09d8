// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tessaline {

// Where a value of the device file stands, for messages in the compiler's style.
struct SourceLine {
    std::string file;
    // 1-based; 0 when the value comes from no line of a file.
    std::int32_t line = 0;

    // "FILE:LINE: " to put before a message, or empty when the place is not known.
    std::string prefix() const {
        if (file.empty() || line <= 0)
            return {};
        return file + ":" + std::to_string(line) + ": ";
    }
};

} // namespace tessaline
