// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes that the five operations and identify send to a unit of type "original", for
// one model of each family, against the golden traces in tests/sim/golden: the program
// never examines the value of a status reply, so a unit that answers every status with
// other values than 00h gets the same bytes, byte for byte.
//
// TESSALINE_WRITE_GOLDEN=1 writes the traces anew from what the engine sends now.
#include "protocol/command_framer.hpp"
#include "tests/support/golden_trace.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// Between the engine and the simulated unit: every command's last reply byte (its status,
// the second byte of a read) arrives as `status` instead of what the unit sent, as an
// original unit whose reply values nobody knows might answer.
class StatusRewritingPort : public BytePort {
public:
    StatusRewritingPort(BytePort& port, std::optional<std::uint8_t> status)
        : m_port(port), m_status(status) {}

    std::vector<std::uint8_t> sent;

    bool isOpen() const override { return m_port.isOpen(); }
    void writeByte(std::uint8_t value) override {
        sent.push_back(value);
        if (m_framer.take(value, 0) == CommandFramer::kComplete)
            m_replies.push_back(unitReplyCount(m_framer.command()));
        m_port.writeByte(value);
    }
    std::vector<std::uint8_t> readAll() override {
        std::vector<std::uint8_t> bytes = m_port.readAll();
        for (std::uint8_t& byte : bytes) {
            if (m_replies.empty())
                continue;
            if (--m_replies.front() == 0) {
                m_replies.pop_front();
                if (m_status)
                    byte = *m_status;
            }
        }
        return bytes;
    }
    void setReceiveThreshold(int threshold) override { m_port.setReceiveThreshold(threshold); }
    int receiveThreshold() const override { return m_port.receiveThreshold(); }
    void setReceiveHandler(ReceiveHandler handler) override {
        m_port.setReceiveHandler(std::move(handler));
    }

private:
    BytePort& m_port;
    std::optional<std::uint8_t> m_status;
    CommandFramer m_framer{CommandSet::Original, 0};
    std::deque<int> m_replies;
};

struct GoldenRig {
    GoldenRig(const std::string& name, std::optional<std::uint8_t> status)
        : chip(*sim::findChipModel(name), clock), unit(chip, clock), loopback(unit, clock),
          port(loopback, status), control(buffer, model, port, host) {
        ApplySelectedModel(shippedRecord(name), model);
        host.onWait = [this](int ms) { clock.advance(static_cast<std::int64_t>(ms) * 1000); };
        loopback.setReceiveHandler([this] { control.MSComm1_OnComm(); });
    }

    // The bytes that the operation sent, and how it ended.
    std::pair<std::vector<std::uint8_t>, Outcome> run(OperationKind kind) {
        port.sent.clear();
        host.ends.clear();
        control.StartOperation(kind, true);
        loopback.deliver();
        return {port.sent, host.ends.empty() ? Outcome::Refused : host.ends.back().outcome};
    }

    // A program with FLASH at both ends of a panel, EEPROM and the erased configuration.
    void loadProgram() {
        ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
        for (std::uint8_t i = 0; i < 16; ++i)
            buffer.Flash[i] = static_cast<std::uint8_t>(0x10 + i);
        buffer.Flash[0x1000] = 0xAB;
        buffer.Flash[0x1001] = 0xCD;
        for (std::size_t i = 0; i < 4; ++i)
            buffer.Eeprom[i] = static_cast<std::uint8_t>(0xD0 + i);
    }

    sim::ManualClock clock;
    sim::Pic18Chip chip;
    sim::ProgrammerUnit unit;
    sim::LoopbackPort loopback;
    StatusRewritingPort port;
    SelectedModelValues model;
    ProgramBuffer buffer;
    RecordingOperationHost host;
    OperationControl control;
};

const char* const kModels[] = {"18F452", "18F2320", "18F2520"};

struct Step {
    OperationKind kind;
    const char* name;
    Outcome outcome;
};

// On one chip in turn: identify, erase, a blank check that passes, program with its
// read-back, a verify that passes, and a read.
const Step kSteps[] = {
    {OperationKind::Identify, "identify", Outcome::Done},
    {OperationKind::Erase, "erase", Outcome::Done},
    {OperationKind::Blank, "blank", Outcome::Done},
    {OperationKind::Program, "program", Outcome::Done},
    {OperationKind::Verify, "verify", Outcome::Done},
    {OperationKind::Read, "read", Outcome::Done},
};

} // namespace

TEST(GoldenTraces, AnOriginalUnitGetsTodaysBytesWhateverItsRepliesSay) {
    const bool write = std::getenv("TESSALINE_WRITE_GOLDEN") != nullptr;
    // 00h as the simulated unit answers; then values that a reference unit would mean as
    // every failure and warning bit, and as every bit with the probe's top bit.
    const std::optional<std::uint8_t> statuses[] = {std::nullopt, 0x7F, 0xFF};
    for (const std::string model : kModels) {
        for (const std::optional<std::uint8_t> status : statuses) {
            GoldenRig rig(model, status);
            for (const Step& step : kSteps) {
                if (step.kind == OperationKind::Program)
                    rig.loadProgram();
                const auto [sent, outcome] = rig.run(step.kind);
                const std::string where = model + " " + step.name + " status " +
                                          (status ? std::to_string(*status) : "as sent");
                EXPECT_EQ(outcome, step.outcome) << where;
                const std::string text = goldenTraceText(sent);
                if (write && !status) {
                    std::ofstream(goldenTracePath(model, step.name), std::ios::binary) << text;
                    continue;
                }
                EXPECT_EQ(text, goldenTrace(model, step.name)) << where;
            }
            EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{}) << model;
        }
    }
}
