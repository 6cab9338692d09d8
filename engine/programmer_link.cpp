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
    sendCommand(command);
    for (const std::int32_t argument : arguments)
        sendArgument(argument);
    finishCommand();
}

void ProgrammerLink::sendCommand(std::uint8_t command) {
    m_commandWord = m_word;
    m_replies = 0;
    m_writing = true;
    m_port.writeByte(command);
    m_framer.take(command, 0);
    trace(true, command, m_framer.position());
    m_host.letPendingEventsRun();
}

void ProgrammerLink::sendArgument(std::int32_t value) {
    // An operation ended while its command was being written (the port failed as events
    // ran): the rest of the command would only follow the end command.
    if (m_closed)
        return;
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    m_port.writeByte(byte);
    m_framer.take(byte, 0);
    trace(true, byte, m_framer.position());
    m_host.letPendingEventsRun();
}

void ProgrammerLink::received(std::uint8_t value) {
    if (m_outstanding > 0)
        --m_outstanding;
    trace(false, value, m_replies++);
}

void ProgrammerLink::finishCommand() {
    m_writing = false;
    if (m_closed)
        return;
    const std::uint8_t command = m_framer.command();
    m_codeWaiting = command == kCmdCommandCode ? m_framer.argument(0) & 0x0F : -1;
    m_outstanding += unitReplyCount(command);
    m_host.commandSent();
}

} // namespace tessaline
