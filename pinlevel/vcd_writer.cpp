// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/vcd_writer.hpp"

#include <ostream>

namespace tessaline::pinlevel {

namespace {

// A cycle of 62.5 ns in the dump's unit of 100 ps.
constexpr std::uint64_t kTimePerCycle = 625;

const char* mclrBits(MclrLevel level) {
    switch (level) {
    case MclrLevel::Low:
        return "00";
    case MclrLevel::Released:
        return "01";
    case MclrLevel::Vih:
        return "10";
    case MclrLevel::Vihh:
        return "11";
    }
    return "00";
}

} // namespace

VcdWriter::VcdWriter(std::ostream& out) : m_out(out) {
    m_out << "$version tessaline-unitsim $end\n"
             "$timescale 100 ps $end\n"
             "$scope module icsp $end\n"
             "$var wire 1 v VDD $end\n"
             "$var wire 2 m MCLR $end\n"
             "$var wire 1 c PGC $end\n"
             "$var wire 1 d PGD $end\n"
             "$var wire 2 o PGD_DRIVER $end\n"
             "$var wire 1 p PGM $end\n"
             "$upscope $end\n"
             "$enddefinitions $end\n";
}

void VcdWriter::change(std::uint64_t cycle, const IcspNets& nets, int chipLevel) {
    const bool all = m_first;
    if (!all && nets == m_nets && chipLevel == m_chipLevel)
        return;
    m_out << '#' << cycle * kTimePerCycle << '\n';
    if (all)
        m_out << "$dumpvars\n";
    if (all || nets.vdd != m_nets.vdd)
        m_out << (nets.vdd ? '1' : '0') << "v\n";
    if (all || nets.mclr != m_nets.mclr)
        m_out << 'b' << mclrBits(nets.mclr) << " m\n";
    if (all || nets.pgc != m_nets.pgc)
        m_out << (nets.pgc ? '1' : '0') << "c\n";
    const auto pgd = [](const IcspNets& lines, int chip) {
        return chip >= 0 ? chip == 1 : lines.pgdDriven && lines.pgd;
    };
    const auto driver = [](const IcspNets& lines, int chip) {
        return chip >= 0 ? "10" : lines.pgdDriven ? "01" : "00";
    };
    if (all || pgd(nets, chipLevel) != pgd(m_nets, m_chipLevel))
        m_out << (pgd(nets, chipLevel) ? '1' : '0') << "d\n";
    if (all || driver(nets, chipLevel) != std::string_view(driver(m_nets, m_chipLevel)))
        m_out << 'b' << driver(nets, chipLevel) << " o\n";
    if (all || nets.pgm != m_nets.pgm)
        m_out << (nets.pgm ? '1' : '0') << "p\n";
    if (all)
        m_out << "$end\n";
    m_first = false;
    m_nets = nets;
    m_chipLevel = chipLevel;
}

} // namespace tessaline::pinlevel
