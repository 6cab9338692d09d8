// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/unit_board.hpp"

#include "firmware/unit_logic.hpp"

#include <cmath>
#include <cstdio>

namespace tessaline::pinlevel {

namespace {

// PORTC
constexpr std::uint8_t kPgc = 1 << 0;
constexpr std::uint8_t kPgd = 1 << 1;
constexpr std::uint8_t kPgm = 1 << 2;
constexpr std::uint8_t kSense = (1 << 4) | (1 << 5);
// PORTD
constexpr std::uint8_t kVddOn = 1 << 4;
constexpr std::uint8_t kVppOn = 1 << 5;
constexpr std::uint8_t kMclrLow = 1 << 6;

// MCLR at this much or more is VIHH for every family the unit programs.
constexpr int kVihhMillivolts = 9000;
// The target's VDD falls through 1 kΩ from 10 µF + 100 nF: 10.1 ms, in cycles at 16 MHz.
constexpr double kVddFallCycles = 1000.0 * 10.1e-6 * 16e6;
// Released from reset above this, a chip may start its program.
constexpr int kReleaseMillivolts = kVddAbsentCentivolts * 10;

bool drivenHigh(const AvrPort& port, std::uint8_t bit) {
    return (port.ddr & bit) && (port.port & bit);
}

// An input with its PORT bit set has the AVR's internal pull-up on.
bool pulledUp(const AvrPort& port, std::uint8_t bits) {
    return (~port.ddr & port.port & bits) != 0;
}

int divided(int millivolts, std::uint32_t top, std::uint32_t bottom) {
    return static_cast<int>(static_cast<std::int64_t>(millivolts) * bottom / (top + bottom));
}

} // namespace

UnitBoard::UnitBoard(const sim::UnitSupplies& supplies) : m_supplies(supplies) {}

void UnitBoard::check(bool fault, bool& reported, std::uint64_t cycle, const std::string& text) {
    if (fault && !reported)
        m_violations.push_back(text + " (cycle " + std::to_string(cycle) + ")");
    reported = fault;
}

IcspNets UnitBoard::nets(const AvrPort& c, const AvrPort& d, std::uint64_t cycle) {
    // The MCLR transistor's gate is pulled up: an input (the AVR in reset) switches it on.
    const bool mclrLow = drivenHigh(d, kMclrLow) || (d.ddr & kMclrLow) == 0;
    const bool vppOn = drivenHigh(d, kVppOn);
    check(mclrLow && vppOn, m_vppIntoGround, cycle,
          "VPP switched on while MCLR is held to ground: 11 mA through R5");
    check(pulledUp(c, kPgc | kPgd | kPgm | kSense), m_pullUp, cycle,
          "the AVR's pull-up on an ICSP line or a sense input fights its pull-down");
    check(pulledUp(d, kVddOn | kVppOn), m_switchPullUp, cycle,
          "the AVR's pull-up on a supply switch's input half switches it on");

    const bool vddOn = drivenHigh(d, kVddOn);
    if (vddOn != m_vddOn) {
        m_vddThen = vddMillivolts(cycle);
        m_vddChanged = cycle;
        m_vddOn = vddOn;
    }
    const bool released = !mclrLow && !vppOn;
    if (m_mclrLow && released && !m_supplies.targetPowered) {
        const int vdd = vddMillivolts(cycle);
        char volts[16];
        std::snprintf(volts, sizeof volts, "%.2f V", vdd / 1000.0);
        check(vdd >= kReleaseMillivolts, m_earlyRelease, cycle,
              std::string("MCLR released while the target's VDD was still ") + volts +
                  ": a chip may start its program (release it below 0.7 V)");
    }
    m_mclrLow = mclrLow;

    const int mclrSupply =
        m_supplies.mclrFromFiveVolts ? m_supplies.vddMillivolts : m_supplies.vppMillivolts;
    IcspNets nets;
    nets.vdd = vddOn || m_supplies.targetPowered;
    nets.mclr = mclrLow ? MclrLevel::Low
                : vppOn ? (mclrSupply >= kVihhMillivolts ? MclrLevel::Vihh : MclrLevel::Vih)
                        : MclrLevel::Released;
    nets.pgc = drivenHigh(c, kPgc);
    nets.pgm = drivenHigh(c, kPgm);
    nets.pgdDriven = (c.ddr & kPgd) != 0;
    nets.pgd = nets.pgdDriven && (c.port & kPgd) != 0;
    return nets;
}

// The switch charges the target at once; off, the bleeder discharges it.
int UnitBoard::vddMillivolts(std::uint64_t cycle) const {
    if (m_supplies.targetPowered || m_vddOn)
        return m_supplies.vddMillivolts;
    const auto elapsed = static_cast<double>(cycle - m_vddChanged);
    return static_cast<int>(m_vddThen * std::exp(-elapsed / kVddFallCycles));
}

int UnitBoard::vppSenseMillivolts() const {
    const int vpp =
        m_supplies.mclrFromFiveVolts ? m_supplies.vddMillivolts : m_supplies.vppMillivolts;
    return divided(vpp, unit::kVppDividerTop, unit::kVppDividerBottom);
}

int UnitBoard::vddSenseMillivolts(std::uint64_t cycle) const {
    return divided(vddMillivolts(cycle), unit::kVddDividerTop, unit::kVddDividerBottom);
}

int UnitBoard::vddSenseSwitchedOn() const {
    return divided(m_supplies.vddMillivolts, unit::kVddDividerTop, unit::kVddDividerBottom);
}

} // namespace tessaline::pinlevel
