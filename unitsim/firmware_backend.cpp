// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitsim/backend.hpp"

#ifdef TESSALINE_HAVE_SIMAVR
#include "pinlevel/avr_unit.hpp"
#include "unitsim/pty_bridge.hpp"
#include "unitsim/usb_adapter.hpp"

#include <deque>
#include <fstream>
#endif

namespace tessaline::unitsim {

#ifndef TESSALINE_HAVE_SIMAVR

std::unique_ptr<Backend> makeFirmwareBackend(const Options&, const sim::ChipModel&,
                                             std::string& error) {
    error = "this build has no AVR simulator (libsimavr), so it cannot run --firmware";
    return nullptr;
}

#else

namespace {

pinlevel::AvrUnit::Setup setupFor(const Options& options, const sim::ChipModel& model) {
    pinlevel::AvrUnit::Setup setup;
    setup.firmware = options.firmware;
    setup.model = &model;
    setup.seed = static_cast<std::uint32_t>(options.seed);
    setup.emptySocket = options.empty;
    setup.supplies = options.supplies();
    setup.dropByte = static_cast<std::uint64_t>(options.dropByte);
    setup.garbleByte = static_cast<std::uint64_t>(options.garbleByte);
    return setup;
}

class FirmwareBackend : public Backend {
public:
    FirmwareBackend(const Options& options, const sim::ChipModel& model)
        : m_options(options), m_unit(setupFor(options, model)), m_adapter(options.adapter) {}

    // Why the firmware cannot run, or the waveform cannot be written; empty when all is
    // ready.
    std::string prepare();

    sim::Pic18Chip& chip() override { return m_unit.chip(); }
    void serve(PtyBridge& pty, const StopFlag& stop) override;
    void finish(bool allowPowered) override { m_unit.finish(allowPowered); }
    std::uint64_t commands() const override { return m_unit.monitor().commands(); }
    std::vector<std::string> violations() const override { return m_unit.violations(); }
    double simulatedSeconds() const override {
        return static_cast<double>(m_unit.cycle()) / (1000.0 * pinlevel::AvrUnit::kCyclesPerMs);
    }
    bool flushOutputs(std::string& error) override;

private:
    std::uint64_t nowUs() const { return m_unit.cycle() * 1000 / pinlevel::AvrUnit::kCyclesPerMs; }
    void poll(PtyBridge& pty);

    const Options& m_options;
    pinlevel::AvrUnit m_unit;
    std::ofstream m_vcd;
    UsbAdapterModel m_adapter;
    // What the program wrote, each byte with the time the adapter puts it on the line.
    std::deque<std::pair<std::uint64_t, std::uint8_t>> m_towardUnit;
};

std::string FirmwareBackend::prepare() {
    if (!m_unit.error().empty())
        return m_unit.error();
    if (!m_options.vcd.empty()) {
        m_vcd.open(m_options.vcd, std::ios::binary);
        if (!m_vcd)
            return "cannot write " + m_options.vcd;
        m_unit.writeVcd(m_vcd);
    }
    return {};
}

// Every 100 µs of simulated time: the bytes the adapter releases toward the program, and
// what the program wrote, on the unit's line once the adapter sends it.
void FirmwareBackend::poll(PtyBridge& pty) {
    const std::uint64_t now = nowUs();
    for (const std::uint8_t byte : m_adapter.release(now))
        pty.write(byte);
    for (const char byte : pty.read())
        m_towardUnit.emplace_back(m_adapter.towardUnit(now), static_cast<std::uint8_t>(byte));
    while (!m_towardUnit.empty() && m_towardUnit.front().first <= now) {
        m_unit.send(m_towardUnit.front().second);
        m_towardUnit.pop_front();
    }
}

// One thread; while the firmware sleeps, simulated time waits for the wall clock.
void FirmwareBackend::serve(PtyBridge& pty, const StopFlag& stop) {
    m_unit.setRealTime(true);
    if (m_options.adapter == UsbAdapter::None) {
        m_unit.onByte = [&pty](std::uint8_t byte) { pty.write(byte); };
    } else {
        // A byte counts from when its stop bit has gone out.
        m_unit.onByte = [this](std::uint8_t byte) {
            m_adapter.fromUnit(byte, nowUs() + m_unit.byteCycles() * 1000 /
                                                   pinlevel::AvrUnit::kCyclesPerMs);
        };
    }
    m_unit.setPoll(pinlevel::AvrUnit::kCyclesPerMs / 10, [&pty, this] { poll(pty); });
    while (!stop && m_unit.step()) {
    }
    // A stop while the unit works on a command (the program may leave right after its
    // last end command) lets it finish: what it has not answered a second later, it never
    // would.
    m_unit.setRealTime(false);
    const std::uint64_t limit = m_unit.cycle() + 1000 * pinlevel::AvrUnit::kCyclesPerMs;
    while (m_unit.monitor().repliesDue() > 0 && m_unit.cycle() < limit && m_unit.step()) {
    }
}

// The waveform's last changes are still in the stream's buffer; a write that failed on
// the way (a full disk) leaves a dump that ends early.
bool FirmwareBackend::flushOutputs(std::string& error) {
    if (!m_vcd.is_open() || m_vcd.flush())
        return true;
    error = "cannot write " + m_options.vcd + ": the waveform is incomplete";
    return false;
}

} // namespace

std::unique_ptr<Backend> makeFirmwareBackend(const Options& options, const sim::ChipModel& model,
                                             std::string& error) {
    auto backend = std::make_unique<FirmwareBackend>(options, model);
    error = backend->prepare();
    if (!error.empty())
        return nullptr;
    return backend;
}

#endif

} // namespace tessaline::unitsim
