// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tessaline::sim {

// Time as the simulated unit and chip see it, in microseconds.
class SimClock {
public:
    virtual ~SimClock();
    virtual std::int64_t nowMicros() const = 0;
    // The unit holding a line for a while (the programming pulse).
    virtual void sleepMicros(std::int64_t micros) = 0;
};

// A clock that moves only when told: the in-process bench advances it by the wire time
// of every byte and by the host's waits, so runs are exact and repeatable.
class ManualClock : public SimClock {
public:
    std::int64_t nowMicros() const override { return m_now; }
    void sleepMicros(std::int64_t micros) override { m_now += micros; }
    void advance(std::int64_t micros) { m_now += micros; }

private:
    std::int64_t m_now = 0;
};

// The machine's monotonic clock; sleeping really sleeps.
class SteadyClock : public SimClock {
public:
    std::int64_t nowMicros() const override;
    void sleepMicros(std::int64_t micros) override;
};

} // namespace tessaline::sim
