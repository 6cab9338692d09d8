// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The unit's serial port: 56000 baud, 8N1. Bytes come in by interrupt into a small ring,
// each with the millisecond it came in, and go out by interrupt, so the processor can
// sleep while it waits.

#include <stdint.h>

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
// The next received byte or error mark, if one waits.
bool read(Received& received);
// Queues a reply byte; the transmit interrupt sends it. Waits while the queue is full.
void send(uint8_t byte);
// Nothing waits to be read. Call with interrupts disabled before sleeping.
bool empty();

} // namespace serial
} // namespace unit
} // namespace tessaline
