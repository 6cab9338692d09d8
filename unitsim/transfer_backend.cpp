// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/programmer_unit.hpp"
#include "sim/sim_clock.hpp"
#include "unitsim/backend.hpp"
#include "unitsim/pty_bridge.hpp"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace tessaline::unitsim {

Backend::~Backend() = default;

namespace {

constexpr std::uint8_t kNoiseByte = 0xA5;

class TransferBackend : public Backend {
public:
    TransferBackend(const Options& options, const sim::ChipModel& model)
        : m_options(options), m_chip(model, m_clock, static_cast<std::uint32_t>(options.seed)),
          m_unit(m_chip, m_clock), m_random(static_cast<std::uint32_t>(options.seed)) {
        m_unit.muteAfter = options.muteAfter;
        m_unit.emptySocket = options.empty;
        if (options.reference) {
            m_unit.makeReference(options.supplies());
            m_unit.dropByte = options.dropByte;
            m_unit.garbleByte = options.garbleByte;
        }
    }

    sim::Pic18Chip& chip() override { return m_chip; }
    void serve(PtyBridge& pty, const StopFlag& stop) override;
    void finish(bool allowPowered) override { m_unit.programEnded(allowPowered); }
    std::uint64_t commands() const override {
        return static_cast<std::uint64_t>(m_unit.commandCount());
    }
    std::vector<std::string> violations() const override { return m_unit.allViolations(); }
    bool flushOutputs(std::string&) override { return true; }

private:
    void onWire();

    const Options& m_options;
    sim::SteadyClock m_clock;
    sim::Pic18Chip m_chip;
    sim::ProgrammerUnit m_unit;
    std::mt19937 m_random;
    std::chrono::microseconds m_byteTime{0};
    std::chrono::steady_clock::time_point m_wireFree;
};

// The wire: every byte takes its time at the given rate. Deadlines follow a schedule
// rather than the time each sleep really ended, so that oversleeping does not add up over
// the bytes of a command; an idle wire starts the schedule anew.
void TransferBackend::onWire() {
    if (m_byteTime.count() == 0)
        return;
    m_wireFree = std::max(m_wireFree, std::chrono::steady_clock::now() - m_byteTime) + m_byteTime;
    std::this_thread::sleep_until(m_wireFree);
}

void TransferBackend::serve(PtyBridge& pty, const StopFlag& stop) {
    m_byteTime = std::chrono::microseconds(m_options.baud > 0 ? 10'000'000 / m_options.baud : 0);
    m_wireFree = std::chrono::steady_clock::now();
    while (!stop) {
        if (!pty.waitForInput(100))
            continue;
        for (const char received : pty.read()) {
            onWire();
            std::vector<std::uint8_t> reply = m_unit.receive(static_cast<std::uint8_t>(received));
            if (reply.empty())
                continue;
            if (m_options.noise && m_random() % 200 == 0)
                reply.push_back(kNoiseByte);
            if (m_options.replyDelayMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(m_options.replyDelayMs));
                m_wireFree = std::chrono::steady_clock::now();
            }
            for (const std::uint8_t byte : reply) {
                onWire();
                pty.write(byte);
            }
        }
    }
}

} // namespace

std::unique_ptr<Backend> makeTransferBackend(const Options& options, const sim::ChipModel& model) {
    return std::make_unique<TransferBackend>(options, model);
}

} // namespace tessaline::unitsim
