// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The unit's serial port, 8N1: 56000 baud in plain mode, a faster rate in fast mode. Bytes
// come in by interrupt, and go out by interrupt, so the processor can sleep while it
// waits. In plain mode each byte waits in a small ring with the millisecond it came in. In
// fast mode the interrupt only queues each byte with its error bits (at 1,000,000 baud a
// byte comes every 160 cycles), and pump() takes them into the packet buffers
// (firmware/unit_batch) between commands and whenever the unit waits.

#include "firmware/unit_batch.hpp"

#include <stdint.h>

// Fast mode's queue between the receive interrupt and the main loop.
extern "C" {
extern volatile uint8_t g_fastHead; // written by the interrupt
extern volatile uint8_t g_fastTail; // written by the main loop
extern volatile uint8_t g_fastLost; // a byte found the queue full
}

namespace tessaline {
namespace unit {
namespace serial {

// A received byte, or in its place the mark of a byte lost on the line (a framing error,
// an overrun, a full ring), so that the bytes before it keep their order.
struct Received {
    uint8_t byte;
    bool error;
    uint32_t milliseconds;
};

void init();
// Plain mode: the next received byte or error mark, if one waits.
bool read(Received& received);
// Queues a reply byte; the transmit interrupt sends it. Waits while the queue is full.
void send(uint8_t byte);
// Waits until every byte queued has been handed to the UART.
void flush();
// Nothing waits to be read. Call with interrupts disabled before sleeping.
bool empty();

// Waits until every byte queued has left the line, then runs at the rate of `rate`: fast
// mode with empty packet buffers, or (kRate56000 with `fast` false) plain mode.
void switchTo(uint8_t rate, bool fast);
bool fast();
// Fast mode's receive side, which pump() feeds.
PacketInput& input();
// Takes what the receive interrupt queued into the packet buffers. Inline, so that the
// frequent call that finds nothing costs a few cycles.
void takeQueued();
inline void pump() {
    if (g_fastTail != g_fastHead || g_fastLost != 0)
        takeQueued();
}
// Between commands: only once a batch has come, so that many bytes share the cost of the
// call. The rest wait for the next wait or the packet's end, a few milliseconds at most.
constexpr uint8_t kPumpBatch = 48;
inline void pumpBatch() {
    if (static_cast<uint8_t>(g_fastHead - g_fastTail) >= kPumpBatch || g_fastLost != 0)
        takeQueued();
}
// pump() and pumpBatch() as functions, for the waits' idle work and the payload check.
void pumpIdle();
void pumpBatchIdle();
// Fast mode: bytes wait for pump(). Call with interrupts disabled before sleeping.
bool pending();

} // namespace serial
} // namespace unit
} // namespace tessaline
