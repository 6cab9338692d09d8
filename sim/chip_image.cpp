// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chip_image.hpp"

#include "buffer/file_path.hpp"
#include "buffer/hex_reader.hpp"
#include "buffer/hex_writer.hpp"
#include "texts/load_texts.hpp"

#include <fstream>
#include <sstream>

namespace tessaline::sim {

namespace {

ProgramBuffer bufferOf(const Pic18Chip& chip) {
    ProgramBuffer buffer;
    buffer.FlashSize = chip.model().flashSize;
    buffer.EepromSize = chip.model().eepromSize;
    buffer.Flash = chip.flash;
    buffer.Eeprom = chip.eeprom;
    for (std::size_t k = 0; k < buffer.Config.size(); ++k)
        buffer.Config[k] = chip.config[k];
    return buffer;
}

} // namespace

bool loadChipImage(const std::string& path, Pic18Chip& chip, std::string& error) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    ProgramBuffer buffer = bufferOf(chip);
    const HexReadResult result = readHexText(content.str(), buffer);
    if (!result.ok()) {
        error = path + ": line " + std::to_string(result.lineNumber);
        error += hexLoadErrorText(result.error);
        return false;
    }
    chip.flash = buffer.Flash;
    chip.eeprom = buffer.Eeprom;
    for (std::size_t k = 0; k < chip.config.size(); ++k)
        chip.config[k] = static_cast<std::uint8_t>(buffer.Config[k] & chip.model().configMask[k]);
    return true;
}

std::string chipImageHex(const Pic18Chip& chip) {
    return writeHexText(bufferOf(chip));
}

std::string knownChipNames() {
    std::size_t count = 0;
    const ChipModel* known = chipModels(count);
    std::string list;
    for (std::size_t i = 0; i < count; ++i)
        list += (i % 10 == 0 ? "\n  " : " ") + std::string(known[i].name);
    return list;
}

} // namespace tessaline::sim
