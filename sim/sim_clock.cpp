// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_clock.hpp"

#include <chrono>
#include <thread>

namespace tessaline::sim {

SimClock::~SimClock() = default;

std::int64_t SteadyClock::nowMicros() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyClock::sleepMicros(std::int64_t micros) {
    if (micros > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

} // namespace tessaline::sim
