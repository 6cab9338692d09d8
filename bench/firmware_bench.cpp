// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's firmware in simulated silicon, in one process: host time per unit command
// for a Program All with read-back of a full 32 KiB part, and for a Verify of it; and the
// unit's own time for that Program All reply-paced and in fast mode side by side.
#include "tests/pinlevel/avr_rig.hpp"
#include "tests/support/sim_rig.hpp"

#include "sim/chip_models.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>

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

bool sameFrames(const std::vector<pinlevel::IcspPinDecoder::Frame>& a,
                const std::vector<pinlevel::IcspPinDecoder::Frame>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.sameTransfer(y); });
}

// The 18F4520's Program All with read-back of 32 KiB of FLASH and 256 EEPROM bytes in
// simulated seconds of the unit: reply-paced at 56000 baud with the engine's waits, then
// the very commands and waits in packets of at most 452 bytes at 1,000,000 baud, two in
// flight. The second run must put the same frames on the pins, without a violation.
void BM_FirmwarePacedVsFast32K(benchmark::State& state) {
    double paced = 0;
    double fast = 0;
    std::uint64_t packets = 0;
    for (auto _ : state) {
        AvrRig rig(shippedRecord("18F4520"));
        fillMemories(rig.buffer, 5);
        rig.unit.recordFrames(true);
        const std::uint64_t pacedStart = rig.unit.cycle();
        if (!rig.run(OperationKind::Program) || !rig.finish().empty()) {
            state.SkipWithError("the reply-paced Program All failed");
            return;
        }
        paced = static_cast<double>(rig.unit.cycle() - pacedStart) / 16e6;

        pinlevel::AvrUnit::Setup setup;
        setup.firmware = firmwarePath();
        setup.model = sim::findChipModel("18F4520");
        pinlevel::AvrUnit unit(setup);
        unit.recordFrames(true);
        FastDriver driver(unit);
        const std::uint64_t fastStart = unit.cycle();
        std::vector<PacketBytes> payloads = packetize(rig.stream, 452);
        payloads.push_back({kOpLeave});
        if (!driver.enter(kRate1000000) || !driver.send(payloads)) {
            state.SkipWithError("the fast Program All failed");
            return;
        }
        fast = static_cast<double>(unit.cycle() - fastStart) / 16e6;
        packets = payloads.size();
        unit.finish(false);
        if (!unit.violations().empty() || !sameFrames(unit.frames(), rig.unit.frames()) ||
            unit.chip().flash != rig.unit.chip().flash ||
            unit.chip().eeprom != rig.unit.chip().eeprom)
            state.SkipWithError(("the fast run differs: " + (unit.violations().empty()
                                                                 ? std::string("frames or chip")
                                                                 : unit.violations().front()))
                                    .c_str());
    }
    state.counters["paced_simulated_s"] = paced;
    state.counters["fast_simulated_s"] = fast;
    state.counters["ratio"] = fast > 0 ? paced / fast : 0;
    state.counters["packets"] = static_cast<double>(packets);
}

// The same Program All driven by the program itself: the engine reply-paced, then in fast
// mode at 1,000,000 baud on a unit with the same chip. The decoded frames, the chip and
// the absence of violations must be the same; the counters give the unit's simulated
// seconds of each run.
void BM_EngineFastProgramAll32K(benchmark::State& state) {
    double seconds[2] = {};
    std::vector<pinlevel::IcspPinDecoder::Frame> frames[2];
    for (auto _ : state) {
        for (const bool fast : {false, true}) {
            AvrRig rig(shippedRecord("18F4520"));
            fillMemories(rig.buffer, 5);
            rig.control.setUnitType(CommandSet::Reference);
            rig.control.setFastBaud(fast ? 1000000 : 0);
            rig.unit.recordFrames(true);
            const std::uint64_t start = rig.unit.cycle();
            const bool done = rig.run(OperationKind::Program);
            seconds[fast] = static_cast<double>(rig.unit.cycle() - start) / 16e6;
            const std::vector<std::string> violations = rig.finish();
            if (!done || rig.host.status() != "Chip programmed" || !violations.empty() ||
                rig.unit.chip().flash != rig.buffer.Flash ||
                rig.unit.chip().eeprom != rig.buffer.Eeprom) {
                state.SkipWithError((std::string(fast ? "fast: " : "reply-paced: ") +
                                     rig.host.status() + " " +
                                     (violations.empty() ? "" : violations.front()))
                                        .c_str());
                return;
            }
            frames[fast] = rig.unit.frames();
        }
        if (!sameFrames(frames[0], frames[1]))
            state.SkipWithError("the frames of fast mode differ from the reply-paced run's");
    }
    state.counters["paced_simulated_s"] = seconds[0];
    state.counters["fast_simulated_s"] = seconds[1];
    state.counters["ratio"] = seconds[1] > 0 ? seconds[0] / seconds[1] : 0;
    state.counters["frames"] = static_cast<double>(frames[1].size());
}

} // namespace

BENCHMARK(BM_EngineFastProgramAll32K)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FirmwarePacedVsFast32K)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FirmwareProgramAll32K)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirmwareVerify32K)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
