// SPDX-License-Identifier: GPL-3.0-or-later
// The engine against the in-process unit and chip: host time per engine step, and a whole
// Program All and Verify of a full 32 KiB model.
#include "protocol/command_framer.hpp"
#include "protocol/fast_mode.hpp"
#include "tests/support/sim_rig.hpp"

#include <benchmark/benchmark.h>

#include <deque>
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

// A reference unit that costs next to nothing, so that the time measured is the program's:
// it frames plain commands and answers them (a read with FFh), takes ENTER, answers each
// packet with FFh for every read, and leaves fast mode on LEAVE.
class CheapUnitPort : public BytePort {
public:
    bool isOpen() const override { return true; }
    void writeByte(std::uint8_t value) override { writeBytes(&value, 1); }
    void writeBytes(const std::uint8_t* bytes, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i)
            m_fast ? takeFast(bytes[i]) : takePlain(bytes[i]);
    }
    std::vector<std::uint8_t> readAll() override {
        std::vector<std::uint8_t> bytes(m_incoming.begin(), m_incoming.end());
        m_incoming.clear();
        return bytes;
    }
    void setReceiveThreshold(int threshold) override { m_threshold = threshold; }
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override { m_handler = std::move(handler); }

    // Plays the event loop until nothing waits.
    void deliver() {
        while (!m_incoming.empty() && m_threshold > 0 && m_handler)
            m_handler();
    }
    std::uint64_t commands = 0;

private:
    void takePlain(std::uint8_t byte) {
        if (m_framer.take(byte, 0) == CommandFramer::kNotACommand || m_framer.partial())
            return;
        ++commands;
        const std::uint8_t command = m_framer.command();
        if (command == kCmdEnterFast) {
            m_incoming.insert(m_incoming.end(), {kFastModeVersion, 0x1F});
            m_fast = true;
            m_receiver.setBuffer(m_payload, kMaxPacketPayload);
            return;
        }
        if (command == kCmdReadByte)
            m_incoming.push_back(0xFF);
        if (command != kCmdUnitReport)
            m_incoming.push_back(0x00);
    }

    void takeFast(std::uint8_t byte) {
        if (m_receiver.take(byte, 0) != PacketReceiver::kPacket)
            return;
        std::uint16_t reads = 0;
        bool leave = false;
        for (std::uint16_t at = 0; at < m_receiver.length();) {
            const std::uint8_t command = m_payload[at];
            reads = static_cast<std::uint16_t>(reads + (command == kCmdReadByte));
            leave = command == kOpLeave;
            commands += command != kOpWait && command != kOpLeave;
            at = static_cast<std::uint16_t>(at + 1 + unitArgumentCount(command));
        }
        std::vector<std::uint8_t> reply{kReplyStart, m_receiver.seq(),
                                        static_cast<std::uint8_t>(reads & 0xFF),
                                        static_cast<std::uint8_t>(reads >> 8)};
        reply.insert(reply.end(), reads, 0xFF);
        reply.push_back(0x00);
        const std::uint16_t crc =
            crc16(reply.data() + 1, static_cast<std::uint16_t>(reply.size() - 1));
        reply.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        reply.push_back(static_cast<std::uint8_t>(crc >> 8));
        m_incoming.insert(m_incoming.end(), reply.begin(), reply.end());
        m_fast = !leave;
    }

    CommandFramer m_framer{CommandSet::Reference, 0};
    PacketReceiver m_receiver;
    std::uint8_t m_payload[kMaxPacketPayload] = {};
    bool m_fast = false;
    std::deque<std::uint8_t> m_incoming;
    int m_threshold = 0;
    ReceiveHandler m_handler;
};

// The program's CPU time per unit command, reply-paced (0) and in fast mode at 1,000,000
// baud (1), for Read All and for Program All without its read-back, on a full 18F4520.
void BM_ProgramCpuPerCommand(benchmark::State& state) {
    const bool fast = state.range(0) == 1;
    const OperationKind kind = state.range(1) == 0 ? OperationKind::Read : OperationKind::Program;
    const DeviceModel& record = shippedRecord("18F4520");
    SelectedModelValues model;
    ApplySelectedModel(record, model);
    // Every read gives FFh: no device ID to check.
    model.Safety.deviceId.reset();
    ProgramBuffer buffer;
    ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    std::mt19937 random(5);
    for (std::uint8_t& byte : buffer.Flash)
        byte = static_cast<std::uint8_t>(random());
    CheapUnitPort port;
    RecordingOperationHost host;
    OperationControl control(buffer, model, port, host);
    control.setUnitType(CommandSet::Reference);
    control.setFastBaud(fast ? 1000000 : 0);
    control.setVerifyAfterProgram(false);
    control.setGracePeriodMs(0);
    port.setReceiveHandler([&] { control.MSComm1_OnComm(); });
    std::uint64_t commands = 0;
    for (auto _ : state) {
        host.statuses.clear();
        const std::uint64_t before = port.commands;
        control.StartOperation(kind, true);
        port.deliver();
        commands += port.commands - before;
        if (control.running() || host.ends.empty() || host.ends.back().outcome != Outcome::Done)
            state.SkipWithError("the operation did not complete");
    }
    state.counters["commands"] =
        static_cast<double>(commands) / static_cast<double>(state.iterations());
    state.counters["per_command"] = benchmark::Counter(
        static_cast<double>(commands), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(fast ? "fast mode" : "reply-paced") +
                   (kind == OperationKind::Read ? ", Read All" : ", Program All"));
}

// Program All with read-back of a full 18F4520 against the transfer-level reference unit,
// whose line moves the simulated clock by each byte's wire time at the rate in force:
// reply-paced at 56000 baud (0) and in fast mode at 500,000 (1) and 1,000,000 baud (2).
// The simulated seconds are the wire's and the unit's, with no adapter's latency.
void BM_SimulatedProgramAll(benchmark::State& state) {
    const std::int32_t bauds[] = {0, 500000, 1000000};
    const std::int32_t fastBaud = bauds[state.range(0)];
    double seconds = 0;
    for (auto _ : state) {
        SimRig rig(shippedRecord("18F4520"), *sim::findChipModel("18F4520"));
        fill(rig);
        rig.unit.makeReference({});
        rig.control.setUnitType(CommandSet::Reference);
        rig.control.setFastBaud(fastBaud);
        rig.host.onWait = [&rig](int ms) { rig.port.waitMicros(std::int64_t{ms} * 1000); };
        if (!rig.run(OperationKind::Program) || rig.chip.flash != rig.buffer.Flash)
            state.SkipWithError("Program All did not complete");
        seconds = static_cast<double>(rig.clock.nowMicros()) / 1e6;
    }
    state.counters["simulated_s"] = seconds;
    state.SetLabel(fastBaud == 0 ? "reply-paced, 56000 baud"
                                 : "fast mode, " + std::to_string(fastBaud) + " baud");
}

} // namespace

BENCHMARK(BM_SimulatedProgramAll)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramCpuPerCommand)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramAll32K)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Verify32K)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
