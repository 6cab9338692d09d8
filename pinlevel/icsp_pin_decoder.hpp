// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/pic18_chip.hpp"
#include "sim/sim_clock.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaline::pinlevel {

// The level on MCLR/VPP.
enum class MclrLevel : std::uint8_t {
    Low,      // pulled to ground
    Released, // left to the target: a powered chip runs its program
    Vih,      // VDD: low-voltage entry
    Vihh,     // VPP: high-voltage entry
};

// The ICSP lines as a programmer drives them.
struct IcspNets {
    bool vdd = false;
    MclrLevel mclr = MclrLevel::Low;
    bool pgc = false;
    bool pgm = false;
    bool pgdDriven = false; // the programmer drives PGD ...
    bool pgd = false;       // ... to this level
    bool operator==(const IcspNets&) const = default;
};

// The chip's time in clock cycles of a 16 MHz programmer. The pin decoder sets it before
// every call into the chip; the chip never waits on it.
class CycleClock : public sim::SimClock {
public:
    static constexpr std::int64_t kCyclesPerMicro = 16;

    std::int64_t nowMicros() const override {
        return static_cast<std::int64_t>(m_cycle) / kCyclesPerMicro;
    }
    void sleepMicros(std::int64_t) override {}
    void setCycle(std::uint64_t cycle) { m_cycle = cycle; }

private:
    std::uint64_t m_cycle = 0;
};

// Turns the levels of VDD, MCLR/VPP, PGC, PGD and PGM, stamped in the programmer's clock
// cycles, into the transfers of a PIC18's In-Circuit Serial Programming interface and
// calls the chip model with them. It checks every timing and level rule that the
// programming documents give for the pins (entry and exit order, clock and data timing,
// the read turnaround, the programming pulse and the discharge after it) and records a
// violation for each one broken. The bits a chip shifts out are driven back onto PGD two
// cycles after the clock rises, as silicon (and the programmer's input synchronizer) lags.
class IcspPinDecoder {
public:
    // A transfer as the pins carried it.
    struct Frame {
        int command = -1;
        std::uint16_t operand = 0; // write commands: the 16 bits clocked in
        bool read = false;
        std::uint8_t data = 0; // reads: the byte the chip shifted out
        bool pulse = false;    // a core instruction NOP held for programming
        std::uint64_t pulseCycles = 0;
        std::uint64_t start = 0; // the cycles of its first rising and last falling clock
        std::uint64_t end = 0;
        // The same transfer, wherever and whenever it ran.
        bool sameTransfer(const Frame& other) const {
            return command == other.command && operand == other.operand && read == other.read &&
                   data == other.data && pulse == other.pulse;
        }
    };

    // `chip` is the chip in the socket, or null for an empty socket; `clock` is the one
    // the chip was made with.
    IcspPinDecoder(sim::Pic18Chip* chip, CycleClock& clock);

    void netsChanged(std::uint64_t cycle, const IcspNets& nets);
    // The end of the run: what can only be judged afterwards (VDD left on after MCLR).
    void finish(std::uint64_t cycle);

    // The chip drives PGD to 0 or 1 from the given cycle on, or lets it go (-1).
    std::function<void(std::uint64_t cycle, int level)> onChipDrive;
    // Every transfer as it completes.
    std::function<void(const Frame&)> onFrame;

    const IcspNets& nets() const { return m_nets; }
    bool programMode() const { return m_mode == Mode::Program; }
    // The target has a supply of its own: VDD is always on, and need not follow MCLR down.
    void setOwnSupply(bool own) { m_ownSupply = own; }
    // The programmer still applies a supply: VDD (unless the target has its own), or VPP
    // on MCLR.
    bool targetPowered() const {
        return (m_nets.vdd && !m_ownSupply) || m_nets.mclr == MclrLevel::Vihh ||
               m_nets.mclr == MclrLevel::Vih;
    }
    int bitsInFrame() const { return m_bits; }
    int frameCommand() const { return m_bits >= 4 ? m_frame.command : -1; }
    std::uint64_t framesCompleted() const { return m_framesCompleted; }
    const Frame& lastFrame() const { return m_lastFrame; }
    // The cycle of the last change of any line.
    std::uint64_t lastChange() const { return m_lastChange; }

    const std::vector<std::string>& violations() const { return m_violations; }

private:
    enum class Mode { Off, Program, Running };

    void violation(std::uint64_t cycle, const std::string& text);
    void supplyChanged(std::uint64_t cycle, const IcspNets& before);
    void checkBackPowering(std::uint64_t cycle);
    void enter(std::uint64_t cycle, bool vddFirst, bool lowVoltage);
    void leave(std::uint64_t cycle);
    void clockRose(std::uint64_t cycle);
    void clockFell(std::uint64_t cycle);
    void completeFrame(std::uint64_t cycle);
    void chipDrives(std::uint64_t cycle, int level);
    bool pgdLevel() const;
    bool readCommand() const;
    std::int64_t dischargeCycles() const;

    sim::Pic18Chip* m_chip;
    CycleClock& m_clock;
    std::vector<std::string> m_violations;
    IcspNets m_nets;
    std::uint64_t m_lastChange = 0;

    Mode m_mode = Mode::Off;
    bool m_vppFirst = false; // MCLR at VPP, waiting for VDD
    std::uint64_t m_vddRose = 0;
    std::uint64_t m_pgmRose = 0;
    std::uint64_t m_entered = 0;
    bool m_clockedSinceEntry = false;
    bool m_lowVoltage = false;
    bool m_ownSupply = false;
    // Programming mode was left at this cycle; VDD must follow within a cycle.
    bool m_exitPending = false;
    std::uint64_t m_exited = 0;

    // The frame under way.
    int m_bits = 0;
    std::uint32_t m_shift = 0;
    Frame m_frame;
    std::uint64_t m_frameStart = 0;
    std::uint64_t m_clockRose = 0;
    std::uint64_t m_clockFell = 0;
    std::uint64_t m_pgdChanged = 0;
    bool m_chipDriving = false;
    bool m_releaseAtNextClock = false;
    std::uint64_t m_framesCompleted = 0;
    Frame m_lastFrame;

    // One report per episode of these.
    bool m_idleClockReported = false;
    bool m_backPowerReported = false;
    std::uint64_t m_vddFell = 0;
    bool m_contention = false;
};

} // namespace tessaline::pinlevel
