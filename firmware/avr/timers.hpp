// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Time for the unit: a free-running millisecond count from Timer2, and waits timed by
// Timer1 during which the processor sleeps. A wait can only come out longer than asked
// (an interrupt that is being served when it ends), never shorter.

#include <stdint.h>

namespace tessaline {
namespace unit {
namespace timers {

void init();
uint32_t milliseconds();
// The count as an interrupt handler reads it: interrupts are off there already.
inline uint32_t millisecondsInInterrupt() {
    extern volatile uint32_t g_milliseconds;
    return g_milliseconds;
}
// Waits `ticks` × 4 µs (1 to 65535 ticks), doing the idle work meanwhile.
void waitTicks(uint16_t ticks);
// What the unit does whenever it waits: fast mode takes in the bytes that came.
void setIdleWork(void (*work)());
// Sleeps until the next interrupt unless `busy` is true. Call with interrupts disabled;
// returns with them enabled.
void sleepUnless(bool busy);

} // namespace timers
} // namespace unit
} // namespace tessaline
