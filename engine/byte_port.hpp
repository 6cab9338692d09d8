// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tessaline {

// The serial link to the programmer unit as the engine sees it: an open flag, one byte
// out at a time, everything waiting in, and a receive notification that is either off
// (threshold 0) or raised as soon as one byte waits (threshold 1).
class BytePort {
public:
    using ReceiveHandler = std::function<void()>;

    virtual ~BytePort();

    virtual bool isOpen() const = 0;
    virtual void writeByte(std::uint8_t value) = 0;
    virtual std::vector<std::uint8_t> readAll() = 0;
    virtual void setReceiveThreshold(int threshold) = 0;
    virtual int receiveThreshold() const = 0;
    // Called from the event loop, never from inside writeByte or setReceiveThreshold.
    virtual void setReceiveHandler(ReceiveHandler handler) = 0;
};

} // namespace tessaline
