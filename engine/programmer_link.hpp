// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/batch_link.hpp"
#include "engine/byte_port.hpp"
#include "protocol/command_framer.hpp"
#include "protocol/unit_protocol.hpp"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tessaline {

class ByteTrace;
class EngineHost;

// The three bytes of an address, as "movlw-upper", "movlw-high" and "movlw-low" load them.
struct AddressBytes {
    std::int32_t upper = 0;
    std::int32_t high = 0;
    std::int32_t low = 0;
    bool operator==(const AddressBytes&) const = default;
};

AddressBytes SplitAddress(std::int32_t address);

// The programming time goes to the unit as one byte: the longest pulse it can be told.
constexpr std::int32_t kLongestUnitProgTimeMs = 255;

// The byte protocol to the programmer unit. Each command goes out in one write and is
// followed by a pass through the pending window events; in fast mode it goes into the
// packet being built instead, and the packet's reply stands for its replies. A trace, when
// one is set, sees every byte sent and received in plain mode with the command it belongs
// to.
class ProgrammerLink {
public:
    ProgrammerLink(BytePort& port, EngineHost& host) : m_port(port), m_host(host) {}

    void SendNop() { send(kCmdNop); }
    // 101 for voltage sequence 1 (VDD before VPP), 102 for 2; nothing otherwise.
    void SendBegin(std::int32_t voltageSequence) {
        if (voltageSequence == 1 || voltageSequence == 2)
            send(voltageSequence == 1 ? kCmdBeginVddFirst : kCmdBeginVppFirst);
    }
    void SendEnd() { send(kCmdEnd); }
    void SendCommandCode(std::int32_t code) { send(kCmdCommandCode, {code}); }
    // The low byte first.
    void SendDataWord(std::int32_t word) { send(kCmdDataWord, {word % 256, word / 256}); }
    void SendStartProg() { send(kCmdStartProg); }
    void SendReadByte() { send(kCmdReadByte); }
    void SendProgTime(std::int32_t progTime) { send(kCmdProgTime, {progTime}); }
    // The reference unit's own commands; nothing to a unit of another type.
    void SendUnitReport() { send(kCmdUnitReport); }
    // A FastRate.
    void SendEnterFast(std::int32_t rate) { send(kCmdEnterFast, {rate}); }
    // The low byte first.
    void SendCalibrate(std::int32_t millivolts) {
        send(kCmdCalibrate, {millivolts % 256, millivolts / 256});
    }
    // The commands that the unit takes: the link sends no other command byte.
    void setCommandSet(CommandSet set) { m_set = set; }
    CommandSet commandSet() const { return m_set; }

    // A byte from the unit: one of the replies the last command asked for.
    void received(std::uint8_t value);
    // The reply bytes still due for the commands sent, as unitReplyCount counts them.
    int outstandingReplies() const { return m_outstanding; }

    // After close nothing more is sent, until open: a step that was under way when its
    // operation was stopped sends no stray command after the end command.
    void close() { m_closed = true; }
    // A command cut short by a close is never completed: what is sent next starts anew.
    void open() {
        m_closed = false;
        m_framer.drop();
    }
    // A new operation: no reply is due and no command code waits (whatever was sent
    // before belongs to an operation that has ended).
    void reset();
    // The 4-bit ICSP command of the last "command code" whose operand has not followed
    // yet, or -1.
    int codeWaiting() const { return m_codeWaiting; }
    // A command's bytes are going out: events that run between them must not send.
    bool writingCommand() const { return m_writing; }

    // Fast mode: the commands go into the packets of `batch`; nullptr: plain mode.
    void setBatch(BatchLink* batch) { m_batch = batch; }
    bool batching() const { return m_batch != nullptr; }
    // The command just sent ends a loop's pass.
    void passEnded() {
        if (m_batch)
            m_batch->passEnded();
    }

    void setTrace(ByteTrace* trace) { m_trace = trace; }
    // The script word that the following commands belong to, for the trace.
    void setWord(std::string_view word) { m_word.assign(word); }

private:
    // A command byte and its argument bytes (as many as unitArgumentCount gives; the low
    // byte of each value goes out) in one write, then one pass through the pending
    // events; into the packet being built in fast mode. Nothing once the link is closed,
    // and nothing that the unit's type does not take.
    void send(std::uint8_t command, std::initializer_list<std::int32_t> arguments = {});
    // The command is out (or in the packet): the unit's reply is due.
    void finishCommand(std::uint8_t command, std::uint8_t argument);
    void trace(bool sent, std::uint8_t value, int position);

    BytePort& m_port;
    EngineHost& m_host;
    BatchLink* m_batch = nullptr;
    ByteTrace* m_trace = nullptr;
    bool m_closed = false;
    CommandSet m_set = CommandSet::Original;
    std::string m_word;
    // What was sent, framed as the unit frames it (whole commands only, so no partial
    // time): the command each byte belongs to and its place in it.
    CommandFramer m_framer{CommandSet::Reference, 0};
    std::string m_commandWord;
    // The replies that have come for the last command.
    int m_replies = 0;
    int m_outstanding = 0;
    int m_codeWaiting = -1;
    bool m_writing = false;
};

} // namespace tessaline
