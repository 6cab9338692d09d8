// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tessaline::sim {

// Whether the command line asks for the unit's firmware (--firmware FILE.elf) rather
// than the usage text or the version.
bool wantsFirmware(int argc, char** argv);

// tessaline-unitsim --firmware FILE.elf: the firmware runs in a simulated ATmega328P whose
// serial port is served on a pseudo-terminal (its path the first line on standard output)
// and whose pins drive a strict chip; on SIGTERM or SIGINT it reports the violations it
// saw. Returns the exit status: 0 none, 1 violations or a waveform (--vcd) that could not
// be written to its end, 2 usage or file errors.
int runFirmwareUnitsim(int argc, char** argv);

} // namespace tessaline::sim
