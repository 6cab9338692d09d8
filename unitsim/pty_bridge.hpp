// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tessaline::unitsim {

// A pseudo-terminal that a programmer opens as its serial port, read and written without
// blocking from the simulator's own thread. A second descriptor on the terminal's own
// side keeps it alive while the programmer closes and reopens it.
class PtyBridge {
public:
    PtyBridge() = default;
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // Opens the terminal in raw mode and, given a path, links it there. False with the
    // reason otherwise.
    bool open(const std::string& link, std::string& error);
    const std::string& device() const { return m_device; }

    // Waits up to `milliseconds` for the programmer to write; true when bytes wait.
    bool waitForInput(int milliseconds) const;
    // The bytes the programmer has written since the last call (none if it has the
    // terminal closed).
    std::string read() const;
    void write(std::uint8_t byte) const;

private:
    int m_master = -1;
    int m_keeper = -1;
    std::string m_device;
    std::string m_link;
};

} // namespace tessaline::unitsim
