// SPDX-License-Identifier: GPL-3.0-or-later
#include "timers.hpp"

#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <avr/wdt.h>

namespace tessaline {
namespace unit {
namespace timers {

volatile uint32_t g_milliseconds = 0;

namespace {

volatile bool g_waitDone = false;
void (*g_idleWork)() = nullptr;

} // namespace

void setIdleWork(void (*work)()) {
    g_idleWork = work;
}

void init() {
    // Timer2, CTC at clk/64 with 250 counts: one interrupt a millisecond.
    TCCR2A = 1 << WGM21;
    OCR2A = 249;
    TIMSK2 = 1 << OCIE2A;
    TCCR2B = 1 << CS22;
    set_sleep_mode(SLEEP_MODE_IDLE);
}

uint32_t milliseconds() {
    const uint8_t saved = SREG;
    cli();
    const uint32_t now = g_milliseconds;
    SREG = saved;
    return now;
}

void sleepUnless(bool busy) {
    if (!busy) {
        sleep_enable();
        sei(); // the instruction after sei runs before any interrupt: no wake-up is lost
        sleep_cpu();
        sleep_disable();
    }
    sei();
}

void waitTicks(uint16_t ticks) {
    wdt_reset();
    // Timer1 in CTC mode at clk/64, its prescaler restarted so that the first tick is a
    // whole one: the compare match comes `ticks` × 64 cycles after the start at the
    // earliest.
    TCCR1B = 0;
    TCCR1A = 0;
    TCNT1 = 0;
    OCR1A = ticks;
    TIFR1 = 1 << OCF1A;
    g_waitDone = false;
    TIMSK1 = 1 << OCIE1A;
    GTCCR = 1 << PSRSYNC;
    TCCR1B = (1 << WGM12) | (1 << CS11) | (1 << CS10);
    for (;;) {
        if (g_idleWork)
            g_idleWork();
        cli();
        if (g_waitDone)
            break;
        sleepUnless(false);
    }
    sei();
    TIMSK1 = 0;
}

} // namespace timers
} // namespace unit
} // namespace tessaline

using namespace tessaline::unit::timers;

ISR(TIMER2_COMPA_vect) {
    g_milliseconds = g_milliseconds + 1;
}

ISR(TIMER1_COMPA_vect) {
    TCCR1B = 0;
    g_waitDone = true;
}
