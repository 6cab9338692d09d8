// SPDX-License-Identifier: GPL-3.0-or-later
// The engine against the in-process unit and chip: host time per engine step, and a whole
// Program All and Verify of a full 32 KiB model.
#include "tests/support/sim_rig.hpp"

#include <benchmark/benchmark.h>

#include <random>

using namespace tessaline;
using namespace tessaline::test;

namespace {

void fill(SimRig& rig) {
    std::mt19937 random(5);
    for (std::uint8_t& byte : rig.buffer.Flash)
        byte = static_cast<std::uint8_t>(random());
    rig.buffer.Flash.back() = 0;
}

// One step per reply byte: the cost of the host side of each round trip.
void BM_EngineStep(benchmark::State& state) {
    SimRig rig(shippedRecord("18F4520"), *sim::findChipModel("18F4520"));
    fill(rig);
    rig.run(OperationKind::Program);
    std::uint64_t steps = 0;
    for (auto _ : state) {
        rig.control.StartOperation(OperationKind::Verify, true);
        steps += static_cast<std::uint64_t>(rig.port.deliver());
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["ns_per_step"] = benchmark::Counter(
        static_cast<double>(steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Runs one operation per iteration and reports the bytes it moved and the time they need
// on a 56000 baud wire, ten bits a byte.
void measure(benchmark::State& state, SimRig& rig, OperationKind kind) {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    for (auto _ : state) {
        const std::uint64_t before = rig.port.bytesSent();
        const std::uint64_t beforeIn = rig.port.bytesReceived();
        rig.run(kind);
        sent = rig.port.bytesSent() - before;
        received = rig.port.bytesReceived() - beforeIn;
    }
    state.counters["bytes_out"] = static_cast<double>(sent);
    state.counters["bytes_in"] = static_cast<double>(received);
    state.counters["wire_s_56000"] = static_cast<double>(sent + received) * 10.0 / 56000.0;
}

void BM_ProgramAll32K(benchmark::State& state) {
    const char* name = state.range(0) == 0 ? "18F452" : "18F4520";
    SimRig rig(shippedRecord(name), *sim::findChipModel(name));
    fill(rig);
    measure(state, rig, OperationKind::Program);
    state.SetLabel(name);
}

void BM_Verify32K(benchmark::State& state) {
    SimRig rig(shippedRecord("18F4520"), *sim::findChipModel("18F4520"));
    fill(rig);
    rig.run(OperationKind::Program);
    measure(state, rig, OperationKind::Verify);
}

} // namespace

BENCHMARK(BM_EngineStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramAll32K)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Verify32K)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
