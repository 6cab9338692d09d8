// SPDX-License-Identifier: GPL-3.0-or-later
// Fast mode against the transfer-level reference unit and the strict chip: the commands
// that reach the chip are those of the reply-paced mode, a failing verify names the same
// byte, and a link that loses or garbles bytes never ends in a success it did not earn.
#include "protocol/command_framer.hpp"
#include "protocol/fast_mode.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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
    // An original unit (`reference` false) set up as a reference one by mistake.
    explicit FastRig(const std::string& name, std::int32_t fastBaud = kFastBaud,
                     bool reference = true)
        : SimRig(shippedRecord(name), *sim::findChipModel(name)) {
        if (reference)
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
            // Only a running timer runs out: a stage that forgot its timer waits forever.
            if (control.running() && host.timerMs >= 0) {
                port.waitMicros(static_cast<std::int64_t>(host.timerMs) * 1000);
                control.replyTimedOut();
            }
        }
        return host.ends.empty() ? Outcome::Refused : host.ends.back().outcome;
    }

    void wrote(std::uint8_t byte) {
        if (port.baudRate() == 56000) {
            plain.push_back(byte);
            if (framer.take(byte, 0) == CommandFramer::kComplete && onCommand)
                onCommand(framer.command());
            return;
        }
        switch (receiver.take(byte, 0)) {
        case PacketReceiver::kPacket:
            ++packets;
            payloads.insert(payloads.end(), packetBuffer, packetBuffer + receiver.length());
            for (std::uint16_t at = 0; onCommand && at < receiver.length();
                 at = static_cast<std::uint16_t>(at + 1 + unitArgumentCount(packetBuffer[at])))
                onCommand(packetBuffer[at]);
            break;
        case PacketReceiver::kAbort:
            ++aborts;
            break;
        default:
            break;
        }
    }

    // Sees each whole command as the unit gets it, before the unit runs it.
    std::function<void(std::uint8_t)> onCommand;
    CommandFramer framer{CommandSet::Reference, 0};
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
        for (const OperationKind kind :
             {OperationKind::Program, OperationKind::Read, OperationKind::Verify,
              OperationKind::Blank, OperationKind::Erase}) {
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

namespace {

// 1 KiB of FLASH and a few EEPROM bytes, for the tests that run an operation many times.
void fillSome(FastRig& rig) {
    for (std::size_t i = 0; i < 1024; ++i)
        rig.buffer.Flash[i] = static_cast<std::uint8_t>(i * 13 + 5);
    for (std::size_t i = 0; i < 8; ++i)
        rig.buffer.Eeprom[i] = static_cast<std::uint8_t>(i + 1);
}

bool chipEqualsFile(const FastRig& rig) {
    return rig.chip.flash == rig.buffer.Flash && rig.chip.eeprom == rig.buffer.Eeprom;
}

} // namespace

// A verify finds the same first byte in both modes and words it the same.
TEST(FastMode, AFailingVerifyNamesTheSameFirstByte) {
    std::vector<std::string> messages[2];
    for (const std::int32_t baud : {0, kFastBaud}) {
        FastRig rig("18F4520", baud);
        fillSome(rig);
        rig.chip.flash = rig.buffer.Flash;
        rig.chip.eeprom = rig.buffer.Eeprom;
        rig.chip.flash[700] ^= 0x10;
        rig.chip.flash[900] ^= 0x01;
        rig.chip.eeprom[5] ^= 0x80;
        EXPECT_EQ(rig.runToEnd(OperationKind::Verify), Outcome::CheckFailed);
        EXPECT_FALSE(rig.chip.powered());
        messages[baud == 0 ? 0 : 1] = rig.host.messages;
    }
    ASSERT_FALSE(messages[0].empty());
    EXPECT_EQ(messages[1], messages[0]);
}

// A FLASH byte that changes between programming and the read-back fails Program All at
// that byte in both modes, and nothing is programmed after the failed check, though the
// configuration's writes follow within the packets in flight: it stays erased.
TEST(FastMode, AFailedReadBackProgramsNothingMore) {
    std::vector<std::string> messages[2];
    for (const std::int32_t baud : {0, kFastBaud}) {
        FastRig rig("18F4520", baud);
        fillSome(rig);
        fillUnprotectedConfig(rig.buffer, rig.chip.model(), 3);
        bool programmed = false;
        bool changed = false;
        int programmedAfter = 0;
        rig.onCommand = [&](std::uint8_t command) {
            programmedAfter += changed && command == kCmdStartProg;
            programmed = programmed || command == kCmdStartProg;
            if (programmed && !changed && command == kCmdReadByte) {
                changed = true;
                rig.chip.flash[1020] ^= 0x08;
            }
        };
        EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::CheckFailed) << baud;
        EXPECT_TRUE(changed) << baud;
        EXPECT_EQ(programmedAfter, 0) << baud;
        sim::Pic18Chip erased(rig.chip.model(), rig.clock);
        erased.erase();
        EXPECT_EQ(rig.chip.config, erased.config) << baud;
        EXPECT_FALSE(rig.chip.powered()) << baud;
        messages[baud == 0 ? 0 : 1] = rig.host.messages;
    }
    ASSERT_FALSE(messages[0].empty());
    EXPECT_NE(messages[0][0].find("0003FCh"), std::string::npos) << messages[0][0];
    EXPECT_EQ(messages[1], messages[0]);
}

// A stop at any packet boundary ends Stopped, the chip powered down, the unit in plain
// mode, and a chip's work never cut.
TEST(FastMode, AStopAtEveryPacketBoundaryEndsStoppedAndPoweredDown) {
    FastRig rig("18F4520");
    fillSome(rig);
    // 8 KiB: some 150 packets.
    for (std::size_t i = 0; i < 8192; ++i)
        rig.buffer.Flash[i] = static_cast<std::uint8_t>(i * 29 + 1);
    int boundaries = 0;
    for (int stopAt = 1;; ++stopAt) {
        int packetsOut = 0;
        rig.host.onEvents = [&] {
            if (++packetsOut == stopAt)
                rig.control.requestStop();
        };
        const Outcome outcome = rig.runToEnd(OperationKind::Program);
        if (outcome == Outcome::Done)
            break;
        ++boundaries;
        ASSERT_EQ(outcome, Outcome::Stopped) << "stop at packet " << stopAt;
        ASSERT_FALSE(rig.chip.powered()) << "stop at packet " << stopAt;
        ASSERT_FALSE(rig.unit.fastMode()) << "stop at packet " << stopAt;
    }
    EXPECT_GE(boundaries, 100);
    EXPECT_TRUE(chipEqualsFile(rig));
    EXPECT_TRUE(rig.unit.allViolations().empty());
}

// A unit that falls silent after some packets is found out; once it answers again, the
// next operation runs to its end.
TEST(FastMode, AUnitThatFallsSilentIsDetectedAndTheNextOperationWorks) {
    FastRig clean("18F4520");
    fillSome(clean);
    ASSERT_EQ(clean.runToEnd(OperationKind::Program), Outcome::Done);
    const std::int64_t all = clean.unit.commandCount();
    for (const std::int64_t commands :
         {std::int64_t{1}, std::int64_t{3}, all / 4, all / 2, all - 20}) {
        FastRig rig("18F4520");
        fillSome(rig);
        rig.unit.muteAfter = commands;
        const Outcome outcome = rig.runToEnd(OperationKind::Program);
        EXPECT_TRUE(outcome == Outcome::UnitSilent || outcome == Outcome::LinkFailed)
            << commands << " commands: " << static_cast<int>(outcome);
        rig.unit.muteAfter = -1;
        rig.port.readAll();
        EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::Done) << commands;
        EXPECT_TRUE(chipEqualsFile(rig)) << commands;
        EXPECT_FALSE(rig.chip.powered()) << commands;
    }
    // Stop pressed as the link goes quiet: the packets in flight are never answered, and
    // the stop does not wait for them for ever.
    for (const int at : {5, 10, 20}) {
        FastRig rig("18F4520");
        fillSome(rig);
        int events = 0;
        rig.host.onEvents = [&rig, &events, at] {
            if (++events != at)
                return;
            rig.control.requestStop();
            rig.unit.muteAfter = rig.unit.commandCount();
            rig.port.readAll();
        };
        const Outcome outcome = rig.runToEnd(OperationKind::Program);
        EXPECT_TRUE(outcome == Outcome::UnitSilent || outcome == Outcome::LinkFailed)
            << "stop at event " << at << ": " << static_cast<int>(outcome);
    }
}

// A byte lost or garbled on the way to the unit, or on the way back: the operation may
// fail (then the chip is powered down and the unit back in plain mode), but it never
// reports a success that the chip does not hold.
TEST(FastMode, LostAndGarbledBytesNeverEndInAFalseSuccess) {
    FastRig clean("18F4520");
    fillSome(clean);
    std::int64_t received = 0;
    clean.probe.onRead = [&](std::vector<std::uint8_t>& bytes) {
        received += static_cast<std::int64_t>(bytes.size());
    };
    ASSERT_EQ(clean.runToEnd(OperationKind::Program), Outcome::Done);
    const auto sent = static_cast<std::int64_t>(clean.port.bytesSent());
    ASSERT_GT(received, 1000);

    enum Fault { DropOut, GarbleOut, DropIn, FlipIn };
    for (const Fault fault : {DropOut, GarbleOut, DropIn, FlipIn}) {
        const bool out = fault == DropOut || fault == GarbleOut;
        int failures = 0;
        for (int run = 0; run < 200; ++run) {
            FastRig rig("18F4520");
            fillSome(rig);
            const std::int64_t at = 1 + (out ? sent : received) * run / 200;
            if (fault == DropOut)
                rig.unit.dropByte = at;
            if (fault == GarbleOut)
                rig.unit.garbleByte = at;
            std::int64_t seen = 0;
            rig.probe.onRead = [&](std::vector<std::uint8_t>& bytes) {
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    if (++seen != at || out)
                        continue;
                    if (fault == FlipIn)
                        bytes[i] ^= 0x04;
                    else
                        bytes.erase(bytes.begin() + static_cast<long>(i));
                    break;
                }
            };
            const Outcome outcome = rig.runToEnd(OperationKind::Program);
            const std::string where = "fault " + std::to_string(fault) + " at byte " +
                                      std::to_string(at) + ": outcome " +
                                      std::to_string(static_cast<int>(outcome));
            if (outcome == Outcome::Done)
                EXPECT_TRUE(chipEqualsFile(rig)) << where;
            else
                ++failures;
            EXPECT_FALSE(rig.chip.powered()) << where;
            EXPECT_FALSE(rig.unit.fastMode()) << where;
        }
        EXPECT_GT(failures, 100) << "fault " << fault;
    }
}

// A unit that does not answer ENTER as one that speaks fast mode, or whose first packet
// finds no answer (a port that cannot take the rate), is programmed reply-paced.
TEST(FastMode, WithoutFastModeTheOperationRunsReplyPaced) {
    for (const bool original : {true, false}) {
        FastRig rig("18F4520", kFastBaud, !original);
        fillSome(rig);
        rig.probe.fixedRate = !original;
        EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::Done) << original;
        EXPECT_FALSE(rig.control.fastMode());
        EXPECT_TRUE(chipEqualsFile(rig)) << original;
        EXPECT_FALSE(rig.chip.powered()) << original;
    }
}
