// SPDX-License-Identifier: GPL-3.0-or-later
// Programs assembled by gputils, checked byte by byte against what srecord reads from
// the same files.
#include "buffer/hex_reader.hpp"
#include "texts/load_texts.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace tessaline;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Compares one region of the buffer with srecord's two images of it: where the images
// agree the file holds that byte; where they differ it holds none and the buffer keeps
// its erased value.
template <typename ByteAt>
int compareRegion(const std::string& base, const char* region, std::size_t size, ByteAt bufferByte,
                  int erasedAt(std::size_t)) {
    const std::string zeros = readFile(base + "." + region + ".00.bin");
    const std::string ones = readFile(base + "." + region + ".FF.bin");
    EXPECT_EQ(zeros.size(), size) << region;
    EXPECT_EQ(ones.size(), size) << region;
    int present = 0;
    for (std::size_t i = 0; i < std::min({size, zeros.size(), ones.size()}); ++i) {
        const int expected =
            zeros[i] == ones[i] ? static_cast<std::uint8_t>(zeros[i]) : erasedAt(i);
        present += zeros[i] == ones[i];
        EXPECT_EQ(bufferByte(i), expected) << region << " byte " << i;
    }
    return present;
}

int flashErased(std::size_t) {
    return 0xFF;
}
int configErased(std::size_t k) {
    return static_cast<int>(0xA0 + k);
}

void checkProgram(const std::string& name, std::int32_t flashSize, std::int32_t eepromSize) {
    const std::string base = std::string(TESSALINE_TOOLCHAIN_DIR) + "/" + name;
    ProgramBuffer buffer;
    ConfigValues erasedConfig{};
    for (std::size_t k = 0; k < erasedConfig.size(); ++k)
        erasedConfig[k] = configErased(k);
    ResetBuffer(buffer, flashSize, eepromSize, erasedConfig);
    const HexReadResult result = readHexText(readFile(base + ".hex"), buffer);
    ASSERT_TRUE(result.ok()) << hexLoadErrorMessage(result);
    const int flash = compareRegion(
        base, "flash", static_cast<std::size_t>(flashSize),
        [&](std::size_t i) { return static_cast<int>(buffer.Flash[i]); }, flashErased);
    const int config = compareRegion(
        base, "config", 14, [&](std::size_t i) { return buffer.Config[i]; }, configErased);
    const int eeprom = compareRegion(
        base, "eeprom", static_cast<std::size_t>(eepromSize),
        [&](std::size_t i) { return static_cast<int>(buffer.Eeprom[i]); }, flashErased);
    EXPECT_GT(flash, 8);
    EXPECT_GT(config, 4);
    EXPECT_GE(eeprom, 4);
}

} // namespace

TEST(ToolchainFiles, Pic18f452ProgramWithConfigurationIdAndEeprom) {
    checkProgram("p18f452", 32768, 256);
}

TEST(ToolchainFiles, Pic18f4620ProgramAtBothEndsOf64KiB) {
    checkProgram("p18f4620", 65536, 1024);
}
