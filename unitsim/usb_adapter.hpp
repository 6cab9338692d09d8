// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

namespace tessaline::unitsim {

// The USB serial adapters between a program and a real unit, by when each hands bytes on.
// Toward the unit every one sends what the program wrote in the next 1 ms USB frame; toward
// the program each releases the bytes it received from the unit by its own rule:
// - none: at once (a pseudo-terminal as it is);
// - uno: the Uno's 16U2 sends its buffer when its timer 0 overflows (every 4.096 ms) or
//   when more than 96 bytes wait;
// - ch340, cp2102: in the next 1 ms USB frame (Linux's ch341 driver sets the CH340 not to
//   wait for 32 bytes; the CP2102 has no timer to set);
// - ftdi1, ftdi16: an FT232R sends 62 bytes at once, else what waits when its latency
//   timer (1 ms, or 16 ms by default) runs out; the timer starts again with every packet.
// Every release toward the program goes in a USB frame the host polls, on a 1 ms boundary.
enum class UsbAdapter : std::uint8_t { None, Uno, Ch340, Cp2102, Ftdi1, Ftdi16 };

// The adapter of an --adapter value; false for a name that is none of them.
bool parseUsbAdapter(const std::string& name, UsbAdapter& adapter);

// One adapter's two directions, on the caller's clock in microseconds.
class UsbAdapterModel {
public:
    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

    explicit UsbAdapterModel(UsbAdapter adapter) : m_adapter(adapter) {}

    // When bytes that the program wrote at `nowUs` start on the unit's line.
    std::uint64_t towardUnit(std::uint64_t nowUs) const;
    // A byte the unit sent, whole at `nowUs`.
    void fromUnit(std::uint8_t byte, std::uint64_t nowUs);
    // The bytes released toward the program by `nowUs`.
    std::vector<std::uint8_t> release(std::uint64_t nowUs);
    // When the next release is due; kNever while nothing waits.
    std::uint64_t nextReleaseUs() const;

private:
    UsbAdapter m_adapter;
    std::deque<std::uint8_t> m_waiting;
    std::uint64_t m_firstWaitingUs = 0; // when the oldest waiting byte came
    std::uint64_t m_fullUs = kNever;    // when enough came for a packet of its own
    std::uint64_t m_lastPacketUs = 0;   // FTDI: when its latency timer last started
};

} // namespace tessaline::unitsim
