// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial.hpp"

#include "board.hpp"
#include "timers.hpp"

#include <avr/interrupt.h>
#include <avr/io.h>

namespace tessaline {
namespace unit {
namespace serial {

namespace {

// Powers of two, so that the free-running indices wrap cleanly. The send queue holds a
// whole unit report.
constexpr uint8_t kRingSize = 16;
constexpr uint8_t kSendSize = 16;

volatile uint8_t g_bytes[kRingSize];
volatile bool g_errors[kRingSize];
volatile uint32_t g_times[kRingSize];
volatile uint8_t g_head = 0; // written by the interrupt
volatile uint8_t g_tail = 0; // written by the main loop

volatile uint8_t g_send[kSendSize];
volatile uint8_t g_sendHead = 0;
volatile uint8_t g_sendTail = 0;

} // namespace

void init() {
    // U2X before the rate: the rate counts in the speed U2X sets.
    UCSR0A = 1 << U2X0;
    UBRR0H = 0;
    UBRR0L = kBaudRegister;
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);
    UCSR0B = (1 << RXEN0) | (1 << TXEN0) | (1 << RXCIE0);
}

bool read(Received& received) {
    const uint8_t saved = SREG;
    cli();
    const bool any = g_tail != g_head;
    if (any) {
        const uint8_t index = g_tail % kRingSize;
        received.byte = g_bytes[index];
        received.error = g_errors[index];
        received.milliseconds = g_times[index];
        g_tail = static_cast<uint8_t>(g_tail + 1);
    }
    SREG = saved;
    return any;
}

void send(uint8_t byte) {
    while (static_cast<uint8_t>(g_sendHead - g_sendTail) >= kSendSize) {
    }
    g_send[g_sendHead % kSendSize] = byte;
    g_sendHead = static_cast<uint8_t>(g_sendHead + 1);
    UCSR0B |= 1 << UDRIE0;
}

bool empty() {
    return g_tail == g_head;
}

} // namespace serial
} // namespace unit
} // namespace tessaline

using namespace tessaline::unit::serial;

// A garbled byte must never reach the chip: an error mark takes its place. The last free
// place of the ring is kept for the mark of the byte that finds the ring full; while it
// stays full, that mark takes the time of every byte lost after it.
ISR(USART_RX_vect) {
    const uint8_t status = UCSR0A;
    const uint8_t byte = UDR0;
    const uint32_t now = tessaline::unit::timers::milliseconds();
    const auto used = static_cast<uint8_t>(g_head - g_tail);
    if (used >= kRingSize) {
        g_times[static_cast<uint8_t>(g_head - 1) % kRingSize] = now;
        return;
    }
    const uint8_t index = g_head % kRingSize;
    g_bytes[index] = byte;
    g_errors[index] = (status & ((1 << FE0) | (1 << DOR0))) != 0 || used == kRingSize - 1;
    g_times[index] = now;
    g_head = static_cast<uint8_t>(g_head + 1);
}

ISR(USART_UDRE_vect) {
    if (g_sendTail != g_sendHead) {
        UDR0 = g_send[g_sendTail % kSendSize];
        g_sendTail = static_cast<uint8_t>(g_sendTail + 1);
    }
    if (g_sendTail == g_sendHead)
        UCSR0B &= static_cast<uint8_t>(~(1 << UDRIE0));
}
