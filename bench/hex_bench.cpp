// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing the HEX text of a full 128 KiB FLASH image.
#include "buffer/hex_reader.hpp"
#include "buffer/hex_writer.hpp"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

using namespace tessaline;

namespace {

constexpr std::int32_t kFlash = 131072;

ProgramBuffer fullImage(std::int32_t flash = kFlash) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, flash, 1024, {});
    for (std::size_t i = 0; i < buffer.Flash.size(); ++i)
        buffer.Flash[i] = static_cast<std::uint8_t>(i * 7 + 1);
    buffer.Flash.back() = 0x00;
    return buffer;
}

void BM_WriteHex128K(benchmark::State& state) {
    const ProgramBuffer buffer = fullImage();
    for (auto _ : state)
        benchmark::DoNotOptimize(writeHexText(buffer));
    state.SetBytesProcessed(state.iterations() * kFlash);
}

void BM_ReadHex128K(benchmark::State& state) {
    const std::string text = writeHexText(fullImage());
    ProgramBuffer buffer;
    for (auto _ : state) {
        ResetBuffer(buffer, kFlash, 1024, {});
        benchmark::DoNotOptimize(readHexText(text, buffer));
    }
    state.SetBytesProcessed(state.iterations() * kFlash);
}

} // namespace

BENCHMARK(BM_WriteHex128K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHex128K)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // With --write-sample FILE [FLASH], leaves a HEX file of a full FLASH image (128 KiB
    // unless told) for comparisons with other tools and for timing whole operations.
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--write-sample") {
        const std::int32_t flash = argc == 4 ? std::stoi(argv[3]) : kFlash;
        ProgramBuffer image = fullImage(flash);
        image.Eeprom.assign(image.Eeprom.size(), 0xFF);
        std::ofstream(argv[2], std::ios::binary) << writeHexText(image);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
