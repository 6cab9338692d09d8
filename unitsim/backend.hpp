// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/chip_models.hpp"
#include "sim/pic18_chip.hpp"
#include "unitsim/options.hpp"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaline::unitsim {

class PtyBridge;

// Set by SIGTERM and SIGINT: the back end stops serving within a pass of its loop.
using StopFlag = volatile std::sig_atomic_t;

// A simulated unit with a chip in its socket, served on the pseudo-terminal.
class Backend {
public:
    virtual ~Backend();

    // The chip in the socket (with an empty socket, the one that would be there).
    virtual sim::Pic18Chip& chip() = 0;
    // Serves what the programmer writes until `stop` is set (or the unit cannot go on).
    virtual void serve(PtyBridge& pty, const StopFlag& stop) = 0;
    // The run is over: the checks that need its end.
    virtual void finish(bool allowPowered) = 0;
    virtual std::uint64_t commands() const = 0;
    virtual std::vector<std::string> violations() const = 0;
    // The unit's own time in simulated seconds; negative when it runs on the wall clock.
    virtual double simulatedSeconds() const { return -1; }
    // Writes what the run left to write (the waveform); false when it could not be
    // written to its end, with the reason.
    virtual bool flushOutputs(std::string& error) = 0;
};

// The transfer-level unit: the unit's protocol, command by command, on a strict chip.
std::unique_ptr<Backend> makeTransferBackend(const Options& options, const sim::ChipModel& model);
// The unit's firmware in a simulated ATmega328P whose pins drive a strict chip; nullptr
// with the reason when it cannot run.
std::unique_ptr<Backend> makeFirmwareBackend(const Options& options, const sim::ChipModel& model,
                                             std::string& error);

} // namespace tessaline::unitsim
