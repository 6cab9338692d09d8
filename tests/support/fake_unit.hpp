// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/operation_control.hpp"
#include "protocol/command_framer.hpp"
#include "tests/support/fake_byte_port.hpp"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tessaline::test {

// A unit of the test's own making behind a FakeBytePort: it frames what the engine writes
// as a unit does, and answers each complete command with the bytes `answer` gives (none:
// it stays silent). run() plays the event loop: the replies go over in one batch a turn,
// and the reply timer runs out on a turn with none.
class FakeUnit {
public:
    struct Command {
        std::uint8_t command = 0;
        std::uint8_t low = 0;  // the first argument byte
        std::uint8_t high = 0; // the second
        std::size_t index = 0; // counted from 0
    };
    using Answer = std::function<std::vector<std::uint8_t>(const Command&)>;

    FakeUnit(FakeBytePort& port, Answer unitAnswer) : answer(std::move(unitAnswer)), m_port(port) {
        port.onWrite = [this](std::uint8_t byte) {
            if (m_framer.take(byte, 0) == CommandFramer::kNotACommand)
                notCommands.push_back(byte);
            else if (!m_framer.partial()) {
                Command command{m_framer.command(), m_framer.argument(0), m_framer.argument(1),
                                commands.size()};
                commands.push_back(command);
                const std::vector<std::uint8_t> replies = answer(command);
                m_pending.insert(m_pending.end(), replies.begin(), replies.end());
            }
        };
    }

    // Runs the operation to its end; the number of reply time-outs.
    int run(OperationControl& control) {
        int timeouts = 0;
        for (int turn = 0; control.running() && turn < 100000; ++turn) {
            if (m_pending.empty()) {
                ++timeouts;
                control.replyTimedOut();
                continue;
            }
            m_port.deliver(std::exchange(m_pending, {}));
        }
        return timeouts;
    }

    // The replies an original unit sends: 00h, and a read's data byte before it.
    static std::vector<std::uint8_t> replies(const Command& command, std::uint8_t status = 0,
                                             std::uint8_t data = 0xFF) {
        if (command.command == kCmdReadByte)
            return {data, status};
        return {status};
    }

    Answer answer;
    std::vector<Command> commands;
    std::vector<std::uint8_t> notCommands;

private:
    FakeBytePort& m_port;
    CommandFramer m_framer{CommandSet::Reference, 0};
    std::vector<std::uint8_t> m_pending;
};

// The answers of a reference unit: the probe's signature to the third of three 111 in a
// row while powered down with distinct times of 1 to 30 ms, its report (firmware 2, not
// calibrated, 11.00 V on VPP, no VDD, J3 open), and 00h for everything else. `status`
// gives the status bits of every reply but the signature's.
inline FakeUnit::Answer
referenceUnit(std::function<std::uint8_t(const FakeUnit::Command&)> status = nullptr) {
    struct State {
        bool powered = false;
        std::vector<std::uint8_t> probe;
    };
    auto state = std::make_shared<State>();
    return [state, status](const FakeUnit::Command& command) -> std::vector<std::uint8_t> {
        const std::uint8_t bits = status ? status(command) : 0;
        if (command.command != kCmdProgTime)
            state->probe.clear();
        switch (command.command) {
        case kCmdBeginVddFirst:
        case kCmdBeginVppFirst:
            state->powered = true;
            break;
        case kCmdEnd:
            state->powered = false;
            break;
        case kCmdProgTime: {
            const std::uint8_t time = command.low;
            const bool fits = !state->powered && time >= kProbeMinMs && time <= kProbeMaxMs;
            for (const std::uint8_t earlier : state->probe)
                if (earlier == time)
                    state->probe.clear();
            if (!fits) {
                state->probe.clear();
                break;
            }
            state->probe.push_back(time);
            if (state->probe.size() == 3) {
                const std::uint8_t signature =
                    unitProbeSignature(state->probe[0], state->probe[1], state->probe[2]);
                state->probe.clear();
                return {signature};
            }
            break;
        }
        case kCmdUnitReport:
            return {kReferenceFirmwareVersion, 0, 0, 0x4C, 0x04, 0, 0, 0, bits};
        default:
            break;
        }
        return FakeUnit::replies(command, bits);
    };
}

} // namespace tessaline::test
