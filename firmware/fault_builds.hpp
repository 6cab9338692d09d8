// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The firmware's fault builds, for the test bench: each leaves out one rule of the pin
// work or the protocol, and the bench must catch every one. A build names its fault with
// UNIT_FAULT=<name> (the firmware's CMakeLists.txt makes one build per fault); the
// shipped firmware names none, and every flag below is then false and its code path gone.

#include <stdint.h> // NOLINT(modernize-deprecated-headers): avr-g++ has no <cstdint>

namespace tessaline {
namespace unit {

enum class Fault : uint8_t {
    None,
    SampleAtRise,        // a read samples PGD as PGC rises, before the chip has set it (P14)
    PgdOutputInRead,     // PGD stays an output while the chip drives it
    ShortP10,            // the programming pulse's discharge time cut short
    ShortPulse,          // the programming pulse held 10 % short
    DataWithClock,       // the next bit is put on PGD as PGC falls
    LateVddOff,          // VDD goes off 10 µs after MCLR, not within 100 ns (P17)
    ClockUnpowered,      // commands clock the pins of an unpowered chip
    ReplyBeforePulse,    // the reply to 109 goes out before the programming pulse
    NoPartialTimeout,    // a command cut short is never dropped
    IgnoreMeasurement,   // the power-up goes on whatever the supplies measured
    SwapSense,           // VPP is read from the VDD sense input and VDD from the VPP one
    ArgumentsAsCommands, // after a receive error the rest of a command runs as commands
    EarlyMclrRelease,    // MCLR released 10 ms after power-down, whatever VDD reads
    UnsettledReference,  // the ADC reference switched on only at measurement time
    FastExecBadCrc,      // fast mode runs a packet whose CRC is wrong
    FastReplyEarly,      // fast mode answers a packet before its last command has run
    FastShortWait,       // fast mode's WAIT leaves the pins idle a millisecond short
    FastNoFallback,      // fast mode never falls back to plain mode by itself
    FastOverwriteBuffer, // fast mode takes the next packet into the buffer that runs
};

#ifndef UNIT_FAULT
#define UNIT_FAULT None
#endif

constexpr Fault kFault = Fault::UNIT_FAULT;

// Whether this build carries the given fault.
constexpr bool faulty(Fault fault) {
    return kFault == fault;
}

} // namespace unit
} // namespace tessaline
