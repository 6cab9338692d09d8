// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial.hpp"

#include "board.hpp"

#include <avr/interrupt.h>
#include <avr/io.h>

namespace tessaline {
namespace unit {
namespace serial {

namespace {

// A power of two, so that the free-running indices wrap cleanly.
constexpr uint8_t kRingSize = 16;
constexpr uint8_t kSendSize = 4;

volatile uint8_t g_ring[kRingSize];
volatile uint8_t g_head = 0; // written by the interrupt
volatile uint8_t g_tail = 0; // written by the main loop
volatile bool g_error = false;

volatile uint8_t g_send[kSendSize];
volatile uint8_t g_sendHead = 0;
volatile uint8_t g_sendTail = 0;

} // namespace

void init() {
    UBRR0H = 0;
    UBRR0L = kBaudRegister;
    UCSR0A = 1 << U2X0;
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);
    UCSR0B = (1 << RXEN0) | (1 << TXEN0) | (1 << RXCIE0);
}

bool read(uint8_t& byte) {
    if (g_tail == g_head)
        return false;
    byte = g_ring[g_tail % kRingSize];
    g_tail = static_cast<uint8_t>(g_tail + 1);
    return true;
}

bool takeError() {
    if (!g_error)
        return false;
    g_error = false;
    return true;
}

void send(uint8_t byte) {
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

ISR(USART_RX_vect) {
    const uint8_t status = UCSR0A;
    const uint8_t byte = UDR0;
    // A garbled byte must never reach the chip: it is dropped and reported.
    if ((status & ((1 << FE0) | (1 << DOR0))) != 0 ||
        static_cast<uint8_t>(g_head - g_tail) >= kRingSize) {
        g_error = true;
        return;
    }
    g_ring[g_head % kRingSize] = byte;
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
