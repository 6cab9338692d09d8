// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/command_framer.hpp"

namespace tessaline {

CommandFramer::Event CommandFramer::take(uint8_t byte, uint32_t nowMs) {
    m_dropped = expire(nowMs);
    m_lastByteMs = nowMs;
    if (m_command == 0) {
        if (!isUnitCommand(byte, m_set))
            return kNotACommand;
        m_command = byte;
        m_received = 0;
        m_position = 0;
    } else {
        m_arguments[m_received++ & 1] = byte;
        m_position = m_received;
    }
    if (m_received < unitArgumentCount(m_command))
        return kMoreToCome;
    m_lastCommand = m_command;
    m_command = 0;
    return kComplete;
}

// A millisecond count steps at any point of the millisecond in which a byte came: one
// step more than the partial-command time makes sure that the whole time has passed.
bool CommandFramer::expire(uint32_t nowMs) {
    if (m_partialCommandMs == 0 || m_command == 0 ||
        static_cast<uint32_t>(nowMs - m_lastByteMs) <= m_partialCommandMs)
        return false;
    m_command = 0;
    return true;
}

bool CommandFramer::drop() {
    const bool had = m_command != 0;
    m_command = 0;
    return had;
}

} // namespace tessaline
