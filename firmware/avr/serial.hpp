// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The unit's serial port: 56000 baud, 8N1. Bytes come in by interrupt into a small ring
// and go out by interrupt, so the processor can sleep while it waits.

#include <stdint.h>

namespace tessaline {
namespace unit {
namespace serial {

void init();
// The next received byte, if one waits.
bool read(uint8_t& byte);
// True once after bytes were lost to a framing error or an overrun.
bool takeError();
// Queues a reply byte; the transmit interrupt sends it.
void send(uint8_t byte);
// Nothing waits to be read. Call with interrupts disabled before sleeping.
bool empty();

} // namespace serial
} // namespace unit
} // namespace tessaline
