// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any text through the HEX reader; a file it accepts must survive a
// write and a second read unchanged.
#include "buffer/hex_reader.hpp"
#include "buffer/hex_writer.hpp"

#include <cstdlib>
#include <string_view>

using namespace tessaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ProgramBuffer buffer;
    ResetBuffer(buffer, 65536, 1024, {});
    if (!readHexText(text, buffer).ok())
        return 0;
    ProgramBuffer again;
    ResetBuffer(again, 65536, 1024, {});
    if (!readHexText(writeHexText(buffer), again).ok() || again.Flash != buffer.Flash ||
        again.Eeprom != buffer.Eeprom || again.Config != buffer.Config)
        std::abort();
    return 0;
}
