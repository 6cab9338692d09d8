// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pinlevel/icsp_pin_decoder.hpp"

#include <cstdint>
#include <iosfwd>
#include <string_view>

namespace tessaline::pinlevel {

// Writes the ICSP lines as a value change dump for a waveform viewer such as GTKWave:
// VDD, MCLR (0 ground, 1 released, 2 VDD, 3 VPP), PGC, PGD as the line carries it, who
// drives PGD (0 nobody, 1 the programmer, 2 the chip) and PGM. Times are clock cycles of
// the 16 MHz programmer.
class VcdWriter {
public:
    explicit VcdWriter(std::ostream& out);

    // The lines at `cycle`; `chipLevel` is the level the chip drives PGD to, or -1.
    void change(std::uint64_t cycle, const IcspNets& nets, int chipLevel);

private:
    std::ostream& m_out;
    bool m_first = true;
    IcspNets m_nets;
    int m_chipLevel = -1;
};

} // namespace tessaline::pinlevel
