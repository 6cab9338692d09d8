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

// Fast mode: one packet runs from one buffer while the next comes into the other. The
// ring holds what comes in during the longest stretch without a pump (a measurement of
// both supplies, 0.42 ms: 42 bytes at 1,000,000 baud).
constexpr uint8_t kFastRingSize = 128;
PacketInput g_input;
uint8_t g_buffers[2][kMaxPacketPayload];
// The millisecond of the last arrived().
uint32_t g_arrivedMs = 0;
bool g_arrivedValid = false;

} // namespace

// The receive interrupt's fast path reads these by name.
// Global under link-time optimisation too, for the interrupt's assembly names them.
#define UNIT_ASM_VISIBLE __attribute__((used, externally_visible))
extern "C" {
UNIT_ASM_VISIBLE volatile uint8_t g_fast = 0;
UNIT_ASM_VISIBLE volatile uint8_t g_fastRing[2 * kFastRingSize]; // bytes, then their errors
UNIT_ASM_VISIBLE volatile uint8_t g_fastHead = 0;
UNIT_ASM_VISIBLE volatile uint8_t g_fastTail = 0;
UNIT_ASM_VISIBLE volatile uint8_t g_fastLost = 0;
}

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
    while (static_cast<uint8_t>(g_sendHead - g_sendTail) >= kSendSize)
        pump();
    g_send[g_sendHead % kSendSize] = byte;
    g_sendHead = static_cast<uint8_t>(g_sendHead + 1);
    UCSR0B |= 1 << UDRIE0;
}

void flush() {
    while (g_sendHead != g_sendTail)
        pump();
}

bool empty() {
    return g_tail == g_head;
}

// TXC is cleared as each byte is handed to the UART, so once the queue is empty it says
// that the last byte's stop bit has gone out: the program reads the reply whole at the old
// rate. 20 µs more cover a bit at 56000 baud, for a receiver that ends its byte late.
void switchTo(uint8_t rate, bool fast) {
    flush();
    while ((UCSR0A & (1 << TXC0)) == 0)
        pump();
    timers::waitTicks(5);
    cli();
    UBRR0L = fastRateRegister(rate);
    g_tail = g_head;
    g_fastTail = g_fastHead;
    g_fastLost = 0;
    g_fast = fast ? 1 : 0;
    sei();
    g_arrivedValid = false;
    if (fast)
        g_input.start(g_buffers[0], g_buffers[1], kMaxPacketPayload, timers::milliseconds());
}

bool fast() {
    return g_fast != 0;
}

bool pending() {
    return g_fastTail != g_fastHead || g_fastLost != 0;
}

namespace {

// The ring's bytes for the payload fast path, up to the first that came with an error.
struct RingSource {
    uint8_t tail;
    bool operator()(uint8_t& byte) {
        if (tail == g_fastHead)
            return false;
        const uint8_t index = tail % kFastRingSize;
        if (g_fastRing[kFastRingSize + index] != 0)
            return false;
        byte = g_fastRing[index];
        tail = static_cast<uint8_t>(tail + 1);
        g_fastTail = tail;
        return true;
    }
};

} // namespace

// At 1,000,000 baud a byte comes every 160 cycles, of which the interrupt takes about 45;
// the payload's bytes, nearly all of them, go through the fast path in about 40 more.
void pumpIdle() {
    pump();
}

void pumpBatchIdle() {
    pumpBatch();
}

// Flattened: the payload's fast path and the CRC step run inline.
__attribute__((flatten)) void takeQueued() {
    // The receive side counts in whole milliseconds: the time is taken once per
    // millisecond, not for every byte.
    const uint32_t now = timers::milliseconds();
    if (now != g_arrivedMs || !g_arrivedValid) {
        g_input.arrived(now);
        g_arrivedMs = now;
        g_arrivedValid = true;
    }
    RingSource source{g_fastTail};
    for (;;) {
        g_input.takePayload(source);
        const uint8_t tail = source.tail;
        if (tail == g_fastHead)
            break;
        const uint8_t index = tail % kFastRingSize;
        const uint8_t errors = g_fastRing[kFastRingSize + index];
        if (errors != 0)
            g_input.lineError((errors & (1 << FE0)) != 0, now);
        else
            g_input.take(g_fastRing[index]);
        source.tail = static_cast<uint8_t>(tail + 1);
        g_fastTail = source.tail;
    }
    if (g_fastLost != 0) {
        g_fastLost = 0;
        g_input.lineError(false, now);
    }
}

PacketInput& input() {
    return g_input;
}

} // namespace serial
} // namespace unit
} // namespace tessaline

using namespace tessaline::unit::serial;

// Plain mode: a garbled byte must never reach the chip, so an error mark takes its
// place. The last free place of the ring is kept for the mark of the byte that finds the
// ring full; while it stays full, that mark takes the time of every byte lost after it.
extern "C" void __vector_plain_receive() __attribute__((signal, used));
void __vector_plain_receive() {
    const uint8_t status = UCSR0A;
    const uint8_t byte = UDR0;
    const uint32_t now = tessaline::unit::timers::millisecondsInInterrupt();
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

// Fast mode: the byte and its framing-error and overrun bits into the ring, in 35 cycles
// with the interrupt's entry and exit, so that the receiver keeps up at 1,000,000 baud
// while the pins are being worked. Plain mode goes on in __vector_plain_receive.
// UCSR0A is at data address C0h, UDR0 at C6h; FE0 and DOR0 are its bits 4 and 3.
static_assert(kFastRingSize == 128, "the interrupt's ring arithmetic");
static_assert((1 << FE0 | 1 << DOR0) == 0x18, "the interrupt's error bits");
ISR(USART_RX_vect, ISR_NAKED) {
    asm volatile("push r24\n\t"
                 "in r24, __SREG__\n\t"
                 "push r24\n\t"
                 "lds r24, g_fast\n\t"
                 "tst r24\n\t"
                 "brne 1f\n\t"
                 "pop r24\n\t"
                 "out __SREG__, r24\n\t"
                 "pop r24\n\t"
                 "jmp __vector_plain_receive\n"
                 "1:\n\t"
                 "push r25\n\t"
                 "push r30\n\t"
                 "push r31\n\t"
                 "lds r30, g_fastHead\n\t"
                 "lds r24, g_fastTail\n\t"
                 "mov r25, r30\n\t"
                 "sub r25, r24\n\t"
                 "cpi r25, 128\n\t"
                 "brlo 2f\n\t"
                 "lds r24, 0xC6\n\t" // a full ring: the byte is lost
                 "ldi r24, 1\n\t"
                 "sts g_fastLost, r24\n\t"
                 "rjmp 3f\n"
                 "2:\n\t"
                 "andi r30, 127\n\t"
                 "ldi r31, 0\n\t"
                 "lds r24, 0xC0\n\t"
                 "andi r24, 0x18\n\t"
                 "lds r25, 0xC6\n\t"
                 "subi r30, lo8(-(g_fastRing))\n\t"
                 "sbci r31, hi8(-(g_fastRing))\n\t"
                 "st Z, r25\n\t"
                 "subi r30, lo8(-128)\n\t"
                 "sbci r31, hi8(-128)\n\t"
                 "st Z, r24\n\t"
                 "lds r24, g_fastHead\n\t"
                 "inc r24\n\t"
                 "sts g_fastHead, r24\n"
                 "3:\n\t"
                 "pop r31\n\t"
                 "pop r30\n\t"
                 "pop r25\n\t"
                 "pop r24\n\t"
                 "out __SREG__, r24\n\t"
                 "pop r24\n\t"
                 "reti\n\t");
}

ISR(USART_UDRE_vect) {
    if (g_sendTail != g_sendHead) {
        UCSR0A = (1 << U2X0) | (1 << TXC0);
        UDR0 = g_send[g_sendTail % kSendSize];
        g_sendTail = static_cast<uint8_t>(g_sendTail + 1);
    }
    if (g_sendTail == g_sendHead)
        UCSR0B &= static_cast<uint8_t>(~(1 << UDRIE0));
}
