// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's firmware in simulated silicon, in one process: host time per unit command
// for a Program All with read-back of a full 32 KiB part, and for a Verify of it.
#include "tests/pinlevel/avr_rig.hpp"
#include "tests/support/sim_rig.hpp"

#include <benchmark/benchmark.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

void report(benchmark::State& state, std::uint64_t commands, std::uint64_t cycles) {
    state.counters["commands"] = static_cast<double>(commands);
    state.counters["us_per_command"] = benchmark::Counter(
        static_cast<double>(commands) * static_cast<double>(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["simulated_s"] = static_cast<double>(cycles) / 16e6;
}

void BM_FirmwareProgramAll32K(benchmark::State& state) {
    std::uint64_t commands = 0;
    std::uint64_t cycles = 0;
    for (auto _ : state) {
        AvrRig rig(shippedRecord("18F452"));
        fillMemories(rig.buffer, 5);
        if (!rig.run(OperationKind::Program) || !rig.finish().empty())
            state.SkipWithError("Program All failed");
        commands = rig.unit.monitor().commands();
        cycles = rig.unit.cycle();
    }
    report(state, commands, cycles);
}

void BM_FirmwareVerify32K(benchmark::State& state) {
    AvrRig rig(shippedRecord("18F452"));
    fillMemories(rig.buffer, 5);
    rig.run(OperationKind::Program);
    std::uint64_t commands = 0;
    const std::uint64_t start = rig.unit.cycle();
    for (auto _ : state) {
        const std::uint64_t before = rig.unit.monitor().commands();
        rig.run(OperationKind::Verify);
        commands = rig.unit.monitor().commands() - before;
    }
    report(state, commands, (rig.unit.cycle() - start) / state.iterations());
}

} // namespace

BENCHMARK(BM_FirmwareProgramAll32K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirmwareVerify32K)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
