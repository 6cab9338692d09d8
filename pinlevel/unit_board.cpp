// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/unit_board.hpp"

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

// VPP from the trimmed boost module, or VDD through J1 for low-voltage programming, and
// the dividers in front of the sense inputs (100 kΩ / 8.2 kΩ, 47 kΩ / 10 kΩ).
constexpr int kVppMillivolts = 11000;
constexpr int kVddMillivolts = 5000;

bool drivenHigh(const AvrPort& port, std::uint8_t bit) {
    return (port.ddr & bit) && (port.port & bit);
}

// An input with its PORT bit set has the AVR's internal pull-up on.
bool pulledUp(const AvrPort& port, std::uint8_t bits) {
    return (~port.ddr & port.port & bits) != 0;
}

} // namespace

void UnitBoard::check(bool fault, bool& reported, std::uint64_t cycle, const char* text) {
    if (fault && !reported)
        m_violations.push_back(std::string(text) + " (cycle " + std::to_string(cycle) + ")");
    reported = fault;
}

IcspNets UnitBoard::nets(const AvrPort& c, const AvrPort& d, std::uint64_t cycle) {
    // The MCLR transistor's base is pulled up: an input (the AVR in reset) switches it on.
    const bool mclrLow = drivenHigh(d, kMclrLow) || (d.ddr & kMclrLow) == 0;
    const bool vppOn = drivenHigh(d, kVppOn);
    check(mclrLow && vppOn, m_vppIntoGround, cycle,
          "VPP switched on while MCLR is held to ground: 11 mA through R5");
    check(pulledUp(c, kPgc | kPgd | kPgm | kSense), m_pullUp, cycle,
          "the AVR's pull-up on an ICSP line or a sense input fights its pull-down");
    check(pulledUp(d, kVddOn | kVppOn), m_switchPullUp, cycle,
          "the AVR's pull-up on a supply switch's input half switches it on");

    IcspNets nets;
    nets.vdd = drivenHigh(d, kVddOn);
    nets.mclr = mclrLow ? MclrLevel::Low
                : vppOn ? (m_lowVoltage ? MclrLevel::Vih : MclrLevel::Vihh)
                        : MclrLevel::Released;
    nets.pgc = drivenHigh(c, kPgc);
    nets.pgm = drivenHigh(c, kPgm);
    nets.pgdDriven = (c.ddr & kPgd) != 0;
    nets.pgd = nets.pgdDriven && (c.port & kPgd) != 0;
    return nets;
}

int UnitBoard::vppSenseMillivolts() const {
    const int vpp = m_lowVoltage ? kVddMillivolts : kVppMillivolts;
    return vpp * 82 / 1082;
}

int UnitBoard::vddSenseMillivolts(bool vddOn) {
    return vddOn ? kVddMillivolts * 10 / 57 : 0;
}

} // namespace tessaline::pinlevel
