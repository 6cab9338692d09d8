// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

namespace tessaline {

// Turns SIGINT, SIGTERM and SIGHUP into a call from the event loop, for as long as the
// object lives; the previous handlers come back when it goes. The handler only writes the
// signal's number into a pipe, so the program's state is touched from the event loop
// alone. Without POSIX signals (Windows) it catches nothing.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int signalNumber)> onSignal);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first signal caught, or 0.
    int received() const;

private:
    struct Pipe;
    std::unique_ptr<Pipe> m_pipe;
};

} // namespace tessaline
