// SPDX-License-Identifier: GPL-3.0-or-later
// Fast mode against the transfer-level reference unit and the strict chip: the commands
// that reach the chip are those of the reply-paced mode, a failing verify names the same
// byte, and a link that loses or garbles bytes never ends in a success it did not earn.
#include "protocol/fast_mode.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// waitwr's poll of EECON1: movf EECON1,W; movwf TABLAT; shift TABLAT out, read. How often
// it runs depends on how fast the polls follow each other, so runs of it count as one.
const std::vector<std::uint8_t> kWriteBitPoll{107, 0,    108,  0xA6, 0x50, 107, 0,
                                              108, 0xF5, 0x6E, 107,  2,    110};

std::vector<std::uint8_t> withOnePollEach(const std::vector<std::uint8_t>& commands) {
    std::vector<std::uint8_t> out;
    const std::size_t n = kWriteBitPoll.size();
    for (std::size_t i = 0; i < commands.size();) {
        const bool poll =
            i + n <= commands.size() && std::equal(kWriteBitPoll.begin(), kWriteBitPoll.end(),
                                                   commands.begin() + static_cast<long>(i));
        if (poll && out.size() >= n &&
            std::equal(kWriteBitPoll.begin(), kWriteBitPoll.end(),
                       out.end() - static_cast<long>(n))) {
            i += n;
            continue;
        }
        out.push_back(commands[i++]);
    }
    return out;
}

constexpr std::int32_t kFastBaud = 1000000;

// A reference unit in one process; what the program writes is kept as the unit runs it:
// plain commands as they are, and the payloads of the packets it accepts.
struct FastRig : SimRig {
    explicit FastRig(const std::string& name, std::int32_t fastBaud = kFastBaud)
        : SimRig(shippedRecord(name), *sim::findChipModel(name)) {
        unit.makeReference({});
        control.setUnitType(CommandSet::Reference);
        control.setFastBaud(fastBaud);
        control.setGracePeriodMs(0);
        host.onWait = [this, fastBaud](int ms) {
            // A script's wait in the reply-paced mode stands where fast mode puts WAIT.
            if (fastBaud == 0 && control.running() && ms > 0)
                plain.insert(plain.end(), {kOpWait, static_cast<std::uint8_t>(ms & 0xFF),
                                           static_cast<std::uint8_t>(ms >> 8)});
            port.waitMicros(static_cast<std::int64_t>(ms) * 1000);
        };
        probe.onWrite = [this](std::uint8_t byte) { wrote(byte); };
    }

    // The commands in the order the unit ran them, with WAIT where the program waited in
    // the reply-paced mode; without ENTER and LEAVE.
    std::vector<std::uint8_t> commands() const {
        std::vector<std::uint8_t> all = plain;
        if (all.size() >= 2 && all[all.size() - 2] == kCmdEnterFast)
            all.resize(all.size() - 2);
        all.insert(all.end(), payloads.begin(), payloads.end());
        if (!all.empty() && all.back() == kOpLeave)
            all.pop_back();
        return withOnePollEach(all);
    }

    // Runs an operation to its end, letting the reply timer run out whenever nothing
    // comes.
    Outcome runToEnd(OperationKind kind) {
        host.ends.clear();
        control.StartOperation(kind, true);
        for (int turn = 0; turn < 50 && control.running(); ++turn) {
            port.deliver();
            if (control.running()) {
                port.waitMicros(static_cast<std::int64_t>(host.timerMs) * 1000);
                control.replyTimedOut();
            }
        }
        return host.ends.empty() ? Outcome::Refused : host.ends.back().outcome;
    }

    void wrote(std::uint8_t byte) {
        if (port.baudRate() == 56000) {
            plain.push_back(byte);
            return;
        }
        switch (receiver.take(byte, 0)) {
        case PacketReceiver::kPacket:
            ++packets;
            payloads.insert(payloads.end(), packetBuffer, packetBuffer + receiver.length());
            break;
        case PacketReceiver::kAbort:
            ++aborts;
            break;
        default:
            break;
        }
    }

    std::vector<std::uint8_t> plain;
    std::vector<std::uint8_t> payloads;
    int packets = 0;
    int aborts = 0;
    std::uint8_t packetBuffer[kMaxPacketPayload] = {};
    PacketReceiver receiver = [this] {
        PacketReceiver r;
        r.setBuffer(packetBuffer, kMaxPacketPayload);
        return r;
    }();
};

} // namespace

TEST(FastMode, ProgramAllRunsInFastModeAndTheChipEqualsTheFile) {
    FastRig rig("18F4520");
    fillMemories(rig.buffer, 11);
    ASSERT_EQ(rig.runToEnd(OperationKind::Program), Outcome::Done)
        << (rig.host.messages.empty() ? "" : rig.host.messages.back());
    EXPECT_GT(rig.packets, 100);
    EXPECT_TRUE(rig.unit.allViolations().empty());
    EXPECT_FALSE(rig.unit.fastMode());
    EXPECT_TRUE(rig.chip.flash == rig.buffer.Flash);
    EXPECT_TRUE(rig.chip.eeprom == rig.buffer.Eeprom);
}

// The same commands reach the unit in both modes, in the same order, with WAIT where the
// reply-paced program waits: three families, the operations that write, read and check.
TEST(FastMode, TheCommandStreamEqualsTheReplyPacedOne) {
    for (const char* name : {"18F452", "18F2320", "18F4520"}) {
        for (const OperationKind kind : {OperationKind::Program, OperationKind::Read,
                                         OperationKind::Verify, OperationKind::Blank}) {
            FastRig paced(name, 0);
            FastRig fast(name);
            for (FastRig* rig : {&paced, &fast}) {
                for (std::size_t i = 0; i < 300; ++i)
                    rig->buffer.Flash[i] = static_cast<std::uint8_t>(i * 7);
                rig->buffer.Eeprom[3] = 0x5A;
                if (kind != OperationKind::Blank) {
                    rig->chip.flash = rig->buffer.Flash;
                    rig->chip.eeprom = rig->buffer.Eeprom;
                }
                ASSERT_EQ(rig->runToEnd(kind), Outcome::Done) << name;
                EXPECT_TRUE(rig->unit.allViolations().empty()) << name;
            }
            EXPECT_EQ(paced.packets, 0);
            EXPECT_GT(fast.packets, 1) << name;
            EXPECT_TRUE(paced.commands() == fast.commands())
                << name << " " << static_cast<int>(kind) << ": " << paced.commands().size()
                << " commands reply-paced, " << fast.commands().size() << " in fast mode";
        }
    }
}
