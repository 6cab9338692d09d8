// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/programmer_unit.hpp"
#include "sim/sim_clock.hpp"
#include "unitsim/backend.hpp"
#include "unitsim/pty_bridge.hpp"
#include "unitsim/usb_adapter.hpp"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace tessaline::unitsim {

Backend::~Backend() = default;

namespace {

constexpr std::uint8_t kNoiseByte = 0xA5;
// How often the unit's clock is looked at while no byte comes.
constexpr int kTickMs = 10;
// Lateness of a sleep that still counts as the wire running on without a pause.
constexpr std::chrono::microseconds kWireIdle{1000};

class TransferBackend : public Backend {
public:
    TransferBackend(const Options& options, const sim::ChipModel& model)
        : m_options(options), m_chip(model, m_clock, static_cast<std::uint32_t>(options.seed)),
          m_unit(m_chip, m_clock), m_random(static_cast<std::uint32_t>(options.seed)),
          m_adapter(options.adapter) {
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
    std::uint64_t nowUs() const;
    void onWire();
    void paceAtTheRateInForce();
    void toProgram(PtyBridge& pty, const std::vector<std::uint8_t>& reply);

    const Options& m_options;
    sim::SteadyClock m_clock;
    sim::Pic18Chip m_chip;
    sim::ProgrammerUnit m_unit;
    std::mt19937 m_random;
    UsbAdapterModel m_adapter;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::microseconds m_byteTime{0};
    std::chrono::steady_clock::time_point m_wireFree;
};

std::uint64_t TransferBackend::nowUs() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - m_start)
                                          .count());
}

// The wire: every byte takes its time at the given rate. Deadlines follow a schedule
// rather than the time each sleep really ended, so that oversleeping does not add up over
// the bytes of a command. A sleep ends late by tens of microseconds, several byte times at
// 1,000,000 baud, so only a wire idle for longer than kWireIdle starts the schedule anew.
void TransferBackend::onWire() {
    if (m_byteTime.count() == 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_wireFree > kWireIdle)
        m_wireFree = now;
    m_wireFree += m_byteTime;
    std::this_thread::sleep_until(m_wireFree);
}

// --baud's rate in plain mode; in fast mode the rate the unit negotiated, ten bits a byte.
void TransferBackend::paceAtTheRateInForce() {
    if (m_options.baud <= 0)
        return;
    const long baud = m_unit.fastMode() ? m_unit.baud() : m_options.baud;
    m_byteTime = std::chrono::microseconds(10'000'000 / baud);
}

// The unit's bytes go out on the wire and through the adapter, which hands them on by its
// own rule.
void TransferBackend::toProgram(PtyBridge& pty, const std::vector<std::uint8_t>& reply) {
    for (const std::uint8_t byte : reply) {
        onWire();
        if (m_options.adapter == UsbAdapter::None)
            pty.write(byte);
        else
            m_adapter.fromUnit(byte, nowUs());
    }
}

void TransferBackend::serve(PtyBridge& pty, const StopFlag& stop) {
    m_wireFree = std::chrono::steady_clock::now();
    while (!stop) {
        // The unit's clock runs on while no byte comes: a fast-mode packet cut short is
        // rejected, and a quiet line ends fast mode.
        const std::uint64_t release = m_adapter.nextReleaseUs();
        const std::uint64_t now = nowUs();
        const int waitMs = release == UsbAdapterModel::kNever
                               ? kTickMs
                               : static_cast<int>(std::min<std::uint64_t>(
                                     kTickMs, release > now ? (release - now + 999) / 1000 : 0));
        if (pty.waitForInput(waitMs)) {
            const std::string bytes = pty.read();
            // The adapter sends what the program wrote in its next USB frame.
            std::this_thread::sleep_until(m_start +
                                          std::chrono::microseconds(m_adapter.towardUnit(nowUs())));
            for (const char received : bytes) {
                paceAtTheRateInForce();
                onWire();
                std::vector<std::uint8_t> reply =
                    m_unit.receive(static_cast<std::uint8_t>(received));
                if (reply.empty())
                    continue;
                if (m_options.noise && m_random() % 200 == 0)
                    reply.push_back(kNoiseByte);
                if (m_options.replyDelayMs > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_options.replyDelayMs));
                    m_wireFree = std::chrono::steady_clock::now();
                }
                toProgram(pty, reply);
            }
        } else {
            paceAtTheRateInForce();
            toProgram(pty, m_unit.tick());
        }
        for (const std::uint8_t byte : m_adapter.release(nowUs()))
            pty.write(byte);
    }
}

} // namespace

std::unique_ptr<Backend> makeTransferBackend(const Options& options, const sim::ChipModel& model) {
    return std::make_unique<TransferBackend>(options, model);
}

} // namespace tessaline::unitsim
