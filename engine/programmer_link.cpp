// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/programmer_link.hpp"

#include "engine/byte_trace.hpp"
#include "engine/engine_host.hpp"

namespace tessaline {

AddressBytes SplitAddress(std::int32_t address) {
    const std::int32_t remainder = address % 65536;
    return {address / 65536, remainder / 256, remainder % 256};
}

void ProgrammerLink::reset() {
    m_outstanding = 0;
    m_codeWaiting = -1;
    m_framer.drop();
}

void ProgrammerLink::trace(bool sent, std::uint8_t value, int position) {
    if (!m_trace)
        return;
    TracedByte byte;
    byte.time = std::chrono::steady_clock::now();
    byte.direction = sent ? TracedByte::Direction::Sent : TracedByte::Direction::Received;
    byte.value = value;
    byte.command = sent ? m_framer.lastByteCommand() : m_framer.command();
    byte.position = position;
    byte.word = m_commandWord;
    m_trace->traceByte(byte);
}

void ProgrammerLink::send(std::uint8_t command, std::initializer_list<std::int32_t> arguments) {
    if (m_closed || !isUnitCommand(command, m_set))
        return;
    std::uint8_t bytes[3] = {command, 0, 0};
    std::size_t count = 1;
    for (const std::int32_t argument : arguments)
        bytes[count++] = static_cast<std::uint8_t>(argument & 0xFF);
    m_replies = 0;
    if (m_batch) {
        // Into the packet being built; its reply stands for the command's.
        m_batch->add(bytes, count);
        finishCommand(command, bytes[1]);
        return;
    }
    m_writing = true;
    m_port.writeBytes(bytes, count);
    if (m_trace) {
        m_commandWord = m_word;
        for (std::size_t i = 0; i < count; ++i) {
            m_framer.take(bytes[i], 0);
            trace(true, bytes[i], m_framer.position());
        }
    } else {
        for (std::size_t i = 0; i < count; ++i)
            m_framer.take(bytes[i], 0);
    }
    m_host.letPendingEventsRun();
    m_writing = false;
    // An operation ended while the command was being written (the port failed as events
    // ran): nothing of it is awaited.
    if (!m_closed)
        finishCommand(command, bytes[1]);
}

void ProgrammerLink::received(std::uint8_t value) {
    if (m_outstanding > 0)
        --m_outstanding;
    // In fast mode the replies are the engine's own; the packets' replies are traced.
    if (!m_batch)
        trace(false, value, m_replies++);
}

void ProgrammerLink::finishCommand(std::uint8_t command, std::uint8_t argument) {
    m_codeWaiting = command == kCmdCommandCode ? argument & 0x0F : -1;
    m_outstanding += unitReplyCount(command);
    m_host.commandSent();
}

} // namespace tessaline
