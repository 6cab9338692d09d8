// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tessaline {

// The serial link to the programmer unit as the engine sees it: an open flag, bytes out,
// everything waiting in, a receive notification that is either off (threshold 0) or raised
// as soon as one byte waits (threshold 1), and the line's rate for fast mode.
class BytePort {
public:
    using ReceiveHandler = std::function<void()>;

    virtual ~BytePort();

    virtual bool isOpen() const = 0;
    virtual void writeByte(std::uint8_t value) = 0;
    // The bytes in one write: a command of the reply-paced mode, a packet of fast mode. A
    // port that has no write of its own writes them one by one.
    virtual void writeBytes(const std::uint8_t* bytes, std::size_t count);
    virtual std::vector<std::uint8_t> readAll() = 0;
    virtual void setReceiveThreshold(int threshold) = 0;
    virtual int receiveThreshold() const = 0;
    // Called from the event loop, never from inside writeByte or setReceiveThreshold.
    virtual void setReceiveHandler(ReceiveHandler handler) = 0;
    // The line's rate from now on, in both directions; bytes written before go out at the
    // rate they were written at. A port that cannot change it ignores this, and fast mode's
    // first packet then finds no answer.
    virtual void setBaudRate(std::int32_t baud) { (void)baud; }
};

} // namespace tessaline
