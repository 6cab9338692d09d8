// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitsim/pty_bridge.hpp"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tessaline::unitsim {

PtyBridge::~PtyBridge() {
    if (!m_link.empty())
        unlink(m_link.c_str());
    if (m_keeper >= 0)
        close(m_keeper);
    if (m_master >= 0)
        close(m_master);
}

bool PtyBridge::open(const std::string& link, std::string& error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        error = std::string("no pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    m_device = ptsname(m_master);
    m_keeper = ::open(m_device.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    if (m_keeper >= 0 && tcgetattr(m_keeper, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(m_keeper, TCSANOW, &raw);
    }
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(m_device.c_str(), link.c_str()) != 0) {
            error = "cannot link " + link + ": " + std::strerror(errno);
            return false;
        }
        m_link = link;
    }
    return true;
}

bool PtyBridge::waitForInput(int milliseconds) const {
    pollfd ready{m_master, POLLIN, 0};
    return poll(&ready, 1, milliseconds) > 0 && (ready.revents & POLLIN) != 0;
}

std::string PtyBridge::read() const {
    std::string bytes;
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        // EAGAIN: nothing waits; EIO: the programmer has the terminal closed.
        if (count <= 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

void PtyBridge::write(std::uint8_t byte) const {
    // A reply that finds the terminal's buffer full is lost, as on a cable nobody reads.
    const ssize_t written = ::write(m_master, &byte, 1);
    (void)written;
}

} // namespace tessaline::unitsim
