// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/icsp_pin_decoder.hpp"

#include <cstdio>

namespace tessaline::pinlevel {

namespace {

// Minimums of the programming documents at 5 V, in cycles of 62.5 ns, rounded up. The
// gaps between command and operand (P5, P5A: 40 ns) are met by any two writes of a port, a
// cycle apart at least; what can go wrong in a cycle is data changing with the falling
// clock (P3/P4), checked below, as are the clock's high and low times and its period.
constexpr std::uint64_t kP2 = 2;   // PGC period: 100 ns
constexpr std::uint64_t kP2A = 1;  // PGC high: 40 ns
constexpr std::uint64_t kP2B = 1;  // PGC low: 40 ns
constexpr std::uint64_t kP12 = 32; // MCLR up to the first rising clock: 2 µs
constexpr std::uint64_t kP13 = 2;  // VDD up to MCLR up: 100 ns
constexpr std::uint64_t kP15 = 32; // PGM up to MCLR up, low-voltage entry: 2 µs
constexpr std::uint64_t kP17 = 1;  // MCLR down to VDD down: 100 ns at most
// A 4th clock of a core instruction held high this long (50 µs) is a programming pulse.
constexpr std::uint64_t kPulseCycles = 800;
// Bits the chip shifts out appear this many cycles after the clock rises.
constexpr std::uint64_t kOutputDelay = 2;
// CONFIG4L bit 2: low-voltage programming enabled.
constexpr std::size_t kConfig4L = 6;
constexpr std::uint8_t kLvp = 0x04;

bool isReadCode(int command) {
    return command == 0x2 || (command >= 0x8 && command <= 0xB);
}

std::string duration(std::uint64_t cycles) {
    char text[32];
    const double micros = static_cast<double>(cycles) / CycleClock::kCyclesPerMicro;
    if (micros >= 1000.0)
        std::snprintf(text, sizeof text, "%.4g ms", micros / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.4g µs", micros);
    return text;
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04XH", value);
    return text;
}

} // namespace

IcspPinDecoder::IcspPinDecoder(sim::Pic18Chip* chip, CycleClock& clock)
    : m_chip(chip), m_clock(clock) {}

void IcspPinDecoder::violation(std::uint64_t cycle, const std::string& text) {
    m_violations.push_back(text + " (cycle " + std::to_string(cycle) + ")");
}

bool IcspPinDecoder::pgdLevel() const {
    return m_nets.pgdDriven && m_nets.pgd;
}

bool IcspPinDecoder::readCommand() const {
    return m_frame.read;
}

std::int64_t IcspPinDecoder::dischargeCycles() const {
    const std::int64_t micros = m_chip ? sim::timingOf(m_chip->model().family).discharge : 5;
    return micros * CycleClock::kCyclesPerMicro;
}

void IcspPinDecoder::chipDrives(std::uint64_t cycle, int level) {
    m_chipDriving = level >= 0;
    if (onChipDrive)
        onChipDrive(cycle, level);
}

void IcspPinDecoder::netsChanged(std::uint64_t cycle, const IcspNets& nets) {
    if (nets == m_nets)
        return;
    const IcspNets before = m_nets;
    m_nets = nets;
    m_lastChange = cycle;
    if (m_exitPending && (!nets.vdd || cycle > m_exited + kP17)) {
        if (cycle > m_exited + kP17)
            violation(cycle, "VDD stayed on " + duration(cycle - m_exited) +
                                 " after MCLR left the programming level (P17: 100 ns at most)");
        m_exitPending = false;
    }
    if ((before.pgdDriven && before.pgd) != pgdLevel())
        m_pgdChanged = cycle;
    if (nets.vdd != before.vdd || nets.mclr != before.mclr || nets.pgm != before.pgm)
        supplyChanged(cycle, before);
    if (nets.pgc != before.pgc) {
        if (nets.pgc)
            clockRose(cycle);
        else
            clockFell(cycle);
    }
    const bool contention = m_chipDriving && nets.pgdDriven;
    if (contention && !m_contention)
        violation(cycle, "PGD driven by the programmer while the chip drives it (contention)");
    m_contention = contention;
    if (before.vdd && !nets.vdd)
        m_vddFell = cycle;
    checkBackPowering(cycle);
}

// A line high while VDD is off powers the chip through its protection diodes. Lines may
// follow VDD down in the instruction after it (PGM must wait for MCLR, and VDD must follow
// MCLR at once).
void IcspPinDecoder::checkBackPowering(std::uint64_t cycle) {
    const bool backPowered =
        !m_nets.vdd && (m_nets.pgc || m_nets.pgm || (m_nets.pgdDriven && m_nets.pgd));
    if (!backPowered) {
        m_backPowerReported = false;
        return;
    }
    if (m_backPowerReported || cycle <= m_vddFell + kP17)
        return;
    violation(cycle, std::string(m_nets.pgc   ? "PGC"
                                 : m_nets.pgm ? "PGM"
                                              : "PGD") +
                         " high while VDD is off: it powers the chip through its protection "
                         "diodes");
    m_backPowerReported = true;
}

void IcspPinDecoder::supplyChanged(std::uint64_t cycle, const IcspNets& before) {
    const IcspNets& now = m_nets;
    if (now.pgm && !before.pgm)
        m_pgmRose = cycle;
    if (now.vdd && !before.vdd)
        m_vddRose = cycle;

    if (m_mode == Mode::Program) {
        if (!now.vdd) {
            violation(cycle, "VDD fell while the chip was in programming mode: MCLR must fall "
                             "first");
            leave(cycle);
        } else if (now.mclr != (m_lowVoltage ? MclrLevel::Vih : MclrLevel::Vihh)) {
            leave(cycle);
            m_exitPending = !m_ownSupply;
            m_exited = cycle;
        } else if (m_lowVoltage && before.pgm && !now.pgm) {
            violation(cycle, "PGM fell before MCLR in low-voltage programming mode (P18)");
            leave(cycle);
        }
        return;
    }

    if (!now.vdd || now.mclr == MclrLevel::Low)
        m_mode = Mode::Off;
    const bool mclrChanged = now.mclr != before.mclr;
    const bool vddRose = now.vdd && !before.vdd;
    if (now.mclr != MclrLevel::Vihh)
        m_vppFirst = false;
    if (!mclrChanged && !vddRose)
        return;
    switch (now.mclr) {
    case MclrLevel::Vihh:
        if (!now.vdd) {
            if (mclrChanged && (now.pgc || pgdLevel()))
                violation(cycle, "PGC and PGD must be low when MCLR rises to enter programming "
                                 "mode");
            m_vppFirst = true;
        } else if (mclrChanged) {
            if (cycle - m_vddRose < kP13)
                violation(cycle,
                          "MCLR rose " + duration(cycle - m_vddRose) + " after VDD (P13: 100 ns)");
            enter(cycle, true, false);
        } else if (m_vppFirst) {
            enter(cycle, false, false);
        }
        return;
    case MclrLevel::Vih:
        if (!now.vdd)
            return;
        if (mclrChanged && now.pgm) {
            if (cycle - m_pgmRose < kP15)
                violation(cycle,
                          "MCLR rose " + duration(cycle - m_pgmRose) + " after PGM (P15: 2 µs)");
            if (m_chip && (m_chip->config[kConfig4L] & kLvp) == 0) {
                violation(cycle, "low-voltage entry while the chip's LVP bit (CONFIG4L bit 2) is "
                                 "0: the chip runs its program instead");
                m_mode = Mode::Running;
                return;
            }
            enter(cycle, true, true);
            return;
        }
        m_mode = Mode::Running;
        return;
    case MclrLevel::Released:
        if (now.vdd)
            m_mode = Mode::Running;
        return;
    case MclrLevel::Low:
        return;
    }
}

void IcspPinDecoder::enter(std::uint64_t cycle, bool vddFirst, bool lowVoltage) {
    if (m_nets.pgc || pgdLevel())
        violation(cycle, "PGC and PGD must be low when MCLR rises to enter programming mode");
    m_vppFirst = false;
    m_mode = Mode::Program;
    m_lowVoltage = lowVoltage;
    m_entered = cycle;
    m_clockedSinceEntry = false;
    m_idleClockReported = false;
    m_bits = 0;
    if (m_chip) {
        m_clock.setCycle(cycle);
        m_chip->powerUp(vddFirst);
    }
}

// MCLR going low drops a frame cut after its 4-bit command, which has only started what
// that command's 4th clock starts; a frame cut anywhere else is a violation.
void IcspPinDecoder::leave(std::uint64_t cycle) {
    if (m_bits == 4 && m_chip) {
        m_clock.setCycle(cycle);
        m_chip->commandCut(m_frame.command);
    } else if (m_bits != 0) {
        violation(cycle, "programming mode ended inside a frame, after " + std::to_string(m_bits) +
                             " of its 20 clocks (P16)");
    }
    if (m_chipDriving || m_releaseAtNextClock)
        chipDrives(cycle, -1);
    m_releaseAtNextClock = false;
    m_bits = 0;
    m_mode = Mode::Off;
    m_lowVoltage = false;
    if (m_chip) {
        m_clock.setCycle(cycle);
        m_chip->powerDown();
    }
}

void IcspPinDecoder::clockRose(std::uint64_t cycle) {
    const std::uint64_t lastRise = m_clockRose;
    m_clockRose = cycle;
    if (m_mode == Mode::Program && m_clockedSinceEntry) {
        if (cycle - m_clockFell < kP2B)
            violation(cycle, "PGC low for " + duration(cycle - m_clockFell) + " (P2B: 40 ns)");
        if (cycle - lastRise < kP2)
            violation(cycle, "PGC rose " + duration(cycle - lastRise) +
                                 " after it rose before (P2: 100 ns)");
    }
    if (m_mode != Mode::Program) {
        if (!m_idleClockReported)
            violation(cycle, "PGC clocked while the chip is not in programming mode");
        m_idleClockReported = true;
        return;
    }
    if (!m_clockedSinceEntry) {
        if (cycle - m_entered < kP12)
            violation(cycle, "the first clock came " + duration(cycle - m_entered) +
                                 " after MCLR rose (P12: 2 µs)");
        m_clockedSinceEntry = true;
    }
    if (m_releaseAtNextClock) {
        chipDrives(cycle, -1);
        m_releaseAtNextClock = false;
    }
    if (m_bits == 0) {
        m_frameStart = cycle;
        m_shift = 0;
        m_frame = Frame{};
    }
    if (m_bits == 4 && m_frame.pulse &&
        static_cast<std::int64_t>(cycle - m_clockFell) < dischargeCycles())
        violation(cycle, "PGC low for " + duration(cycle - m_clockFell) +
                             " after the programming pulse (P10: " +
                             duration(static_cast<std::uint64_t>(dischargeCycles())) + ")");
    if (readCommand() && m_bits >= 12 && m_chip)
        chipDrives(cycle + kOutputDelay, (m_frame.data >> (m_bits - 12)) & 1);
}

void IcspPinDecoder::clockFell(std::uint64_t cycle) {
    if (m_mode != Mode::Program)
        return;
    if (cycle - m_clockRose < kP2A)
        violation(cycle, "PGC high for " + duration(cycle - m_clockRose) + " (P2A: 40 ns)");
    if (m_pgdChanged == cycle)
        violation(cycle, "PGD changed in the same cycle as PGC fell, as the chip latches it "
                         "(P3/P4)");
    m_clockFell = cycle;
    if (pgdLevel())
        m_shift |= 1u << m_bits;
    ++m_bits;
    if (m_bits == 4) {
        m_frame.command = static_cast<int>(m_shift & 0xF);
        m_frame.read = isReadCode(m_frame.command);
        if (m_frame.command == 0 && cycle - m_clockRose >= kPulseCycles) {
            m_frame.pulse = true;
            m_frame.pulseCycles = cycle - m_clockRose;
        }
    } else if (m_bits == 12 && m_frame.read) {
        m_clock.setCycle(m_frameStart);
        m_frame.data = m_chip ? m_chip->readTransfer(m_frame.command) : 0;
    } else if (m_bits == 20) {
        completeFrame(cycle);
    }
}

// The chip sees a transfer at the time its first clock rose: its timed starts (an erase,
// a data EEPROM write) and its "too early" checks count from where the command began.
void IcspPinDecoder::completeFrame(std::uint64_t cycle) {
    m_clock.setCycle(m_frameStart);
    if (m_frame.read) {
        // The chip lets go of PGD as the 20th clock falls; the K20 and K22 parts only as
        // the next one rises (P19).
        const bool late = m_chip && (m_chip->model().family == sim::Family::K20 ||
                                     m_chip->model().family == sim::Family::K22);
        if (late)
            m_releaseAtNextClock = true;
        else if (m_chip)
            chipDrives(cycle, -1);
    } else {
        m_frame.operand = static_cast<std::uint16_t>(m_shift >> 4);
        if (m_frame.pulse) {
            if (m_frame.operand != 0)
                violation(cycle, "the programming pulse's operand clocked in as " +
                                     hex4(m_frame.operand) + ": its 16 bits must be 0");
            if (m_chip)
                m_chip->programmingPulse(static_cast<std::int64_t>(m_frame.pulseCycles) /
                                         CycleClock::kCyclesPerMicro);
        } else if (m_chip) {
            m_chip->transfer(m_frame.command, m_frame.operand);
        }
    }
    m_frame.start = m_frameStart;
    m_frame.end = cycle;
    m_lastFrame = m_frame;
    ++m_framesCompleted;
    m_bits = 0;
    if (onFrame)
        onFrame(m_lastFrame);
}

void IcspPinDecoder::finish(std::uint64_t cycle) {
    checkBackPowering(cycle);
    if (m_exitPending && m_nets.vdd && cycle > m_exited + kP17)
        violation(cycle, "VDD stayed on " + duration(cycle - m_exited) +
                             " after MCLR left the programming level (P17: 100 ns at most)");
    m_exitPending = false;
}

} // namespace tessaline::pinlevel
