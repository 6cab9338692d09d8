// SPDX-License-Identifier: GPL-3.0-or-later
// Rebuilding the window's views: the whole updatedisplay against assigning the same
// FLASH text to the view alone.
#include "tests/support/window_fixture.hpp"
#include "texts/view_texts.hpp"

#include <QApplication>
#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

using namespace tessaline;

namespace {

std::string modelWithFlash(std::int64_t bytes) {
    return "model:18fbench\r\nflash:" + std::to_string(bytes) +
           "\r\neeprom:256\r\nconfigerased:00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40\r\n";
}

void fillPattern(ProgramBuffer& buffer) {
    for (std::size_t i = 0; i < buffer.Flash.size(); ++i)
        buffer.Flash[i] = static_cast<std::uint8_t>(i * 7);
}

void BM_updatedisplay(benchmark::State& state) {
    test::WindowFixture fixture(modelWithFlash(state.range(0)));
    test::WindowControls& form = fixture.load();
    fillPattern(fixture.state.buffer);
    for (auto _ : state)
        form.updatedisplay();
}

void BM_setPlainTextOnly(benchmark::State& state) {
    test::WindowFixture fixture(modelWithFlash(state.range(0)));
    test::WindowControls& form = fixture.load();
    fillPattern(fixture.state.buffer);
    const QString text = QString::fromLatin1(flashViewText(fixture.state.buffer));
    for (auto _ : state) {
        form.tabla_flash->setPlainText(text);
        QCoreApplication::processEvents();
    }
}

void BM_flashViewText(benchmark::State& state) {
    ProgramBuffer buffer;
    ResetBuffer(buffer, static_cast<std::int32_t>(state.range(0)), 0, {});
    fillPattern(buffer);
    for (auto _ : state)
        benchmark::DoNotOptimize(flashViewText(buffer));
}

} // namespace

BENCHMARK(BM_updatedisplay)->Arg(32768)->Arg(131072)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_setPlainTextOnly)->Arg(32768)->Arg(131072)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_flashViewText)->Arg(32768)->Arg(131072)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
