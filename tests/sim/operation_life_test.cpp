// SPDX-License-Identifier: GPL-3.0-or-later
// An operation's life against the strict chip: no command while the operation reads as
// idle, stray bytes and a silent unit end it where the documents allow, a cut core
// instruction is completed before the power goes, and a unit that another program left
// in the middle of an operation is powered down before anything else.
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

using namespace tessaline;
using namespace tessaline::test;

namespace {

const char* const kOneOfEachFamily[] = {"18F452", "18F2320", "18F4520"};

struct LifeRig : SimRig {
    explicit LifeRig(const std::string& name)
        : SimRig(shippedRecord(name), *sim::findChipModel(name)) {
        control.setGracePeriodMs(100);
        std::mt19937 random(7);
        for (std::size_t i = 0; i < 200; ++i)
            buffer.Flash[i] = static_cast<std::uint8_t>(random());
        for (std::size_t i = 0; i < 4 && i < buffer.Eeprom.size(); ++i)
            buffer.Eeprom[i] = static_cast<std::uint8_t>(i + 1);
    }
    // Runs an operation to its end, letting the reply timer run out whenever the unit is
    // silent (the grace period after the last reply, or a unit that stopped answering).
    Outcome runToEnd(OperationKind kind) {
        host.ends.clear();
        control.StartOperation(kind, true);
        for (int turn = 0; turn < 10 && control.running(); ++turn) {
            port.deliver();
            if (control.running())
                control.replyTimedOut();
        }
        return host.ends.empty() ? Outcome::Refused : host.ends.back().outcome;
    }
};

// A violation that a start after a hung or killed program must not cause: a second
// power-up, a cut erase or data EEPROM write, a command code clocked over.
bool cutOrPoweredTwice(const std::vector<std::string>& seen) {
    const std::array<const char*, 4> faults{"applied again", "hold time", "still running",
                                            "more than 4"};
    return std::any_of(seen.begin(), seen.end(), [&](const std::string& text) {
        return std::any_of(faults.begin(), faults.end(), [&](const char* fault) {
            return text.find(fault) != std::string::npos;
        });
    });
}

} // namespace

// Every byte goes out while the operation reads as running: through the power-down of a
// unit in an unknown state, the ID check, the operation's own script and the read-back,
// and the end command that follows a unit gone silent in the ID check.
TEST(OperationLife, NoCommandGoesOutWhileTheOperationReadsAsIdle) {
    for (const char* model : kOneOfEachFamily) {
        for (const OperationKind kind :
             {OperationKind::Program, OperationKind::Read, OperationKind::Erase,
              OperationKind::Blank, OperationKind::Verify, OperationKind::Identify}) {
            for (const bool silent : {false, true}) {
                LifeRig rig(model);
                rig.control.portOpened();
                if (silent)
                    rig.unit.muteAfter = 10;
                std::vector<std::uint8_t> whileIdle;
                rig.probe.onWrite = [&](std::uint8_t byte) {
                    if (!rig.control.running())
                        whileIdle.push_back(byte);
                };
                const Outcome outcome = rig.runToEnd(kind);
                if (silent) {
                    EXPECT_EQ(outcome, Outcome::UnitSilent) << model;
                    EXPECT_EQ(rig.unit.lastByte(), 103) << model << " the end command went out";
                } else {
                    EXPECT_TRUE(outcome == Outcome::Done || outcome == Outcome::CheckFailed)
                        << model;
                }
                EXPECT_EQ(whileIdle, std::vector<std::uint8_t>{})
                    << model << " operation " << static_cast<int>(kind) << " silent " << silent;
            }
        }
    }
}

// A byte that no command asked for, after any reply of Program All: the operation goes on
// to the next point where the chip is idle and fails there; the chip sees nothing the
// documents do not allow, and the next operation starts clean.
TEST(OperationLife, AStrayByteAnywhereFailsAtTheNextIdlePoint) {
    for (const char* model : kOneOfEachFamily) {
        LifeRig whole(model);
        ASSERT_EQ(whole.runToEnd(OperationKind::Program), Outcome::Done);
        const std::int64_t total = whole.unit.commandCount();
        const std::int64_t stride = total / 60 + 1;
        for (std::int64_t at = 1; at <= total; at += stride) {
            LifeRig rig(model);
            rig.unit.strayAfter = at;
            EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::StrayBytes)
                << model << " at " << at;
            EXPECT_TRUE(rig.host.messages.back().find("bytes that no command asked for") !=
                        std::string::npos)
                << rig.host.messages.back();
            EXPECT_FALSE(rig.chip.powered()) << model << " at " << at;
            EXPECT_TRUE(rig.control.unitIdle()) << model << " at " << at;
            EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{})
                << model << " at " << at;
            if ((at / stride) % 20 == 0) {
                EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::Done);
            }
        }
    }
}

// A unit that stops answering (it hangs) at any command: the operation ends as silent,
// the end command goes out, and once the unit is back the next operation powers it down
// before it powers it up again, so the chip sees a clean start.
TEST(OperationLife, AfterASilentUnitTheNextOperationPowersItDownFirst) {
    for (const char* model : kOneOfEachFamily) {
        LifeRig whole(model);
        ASSERT_EQ(whole.runToEnd(OperationKind::Program), Outcome::Done);
        const std::int64_t total = whole.unit.commandCount();
        for (std::int64_t at = 2; at < total; at += total / 12 + 1) {
            LifeRig rig(model);
            rig.unit.muteAfter = at;
            EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::UnitSilent) << at;
            EXPECT_FALSE(rig.control.unitIdle());
            EXPECT_EQ(rig.unit.lastByte(), 103) << model << " at " << at;
            rig.unit.muteAfter = -1;
            EXPECT_EQ(rig.runToEnd(OperationKind::Program), Outcome::Done) << model << " at " << at;
            EXPECT_EQ(rig.runToEnd(OperationKind::Verify), Outcome::Done) << model << " at " << at;
            // What the hung unit left half done (a write without its pulse, an erase key
            // without its NOPs) is dropped by the power-down; nothing is powered up twice
            // or cut in a running erase or write.
            EXPECT_FALSE(cutOrPoweredTwice(rig.unit.allViolations())) << model << " at " << at;
        }
    }
}

// Another program died in the middle of Program All, a command code sent without its
// operand or a command's bytes cut short: this program's port is new, so its first
// operation ends what the unit holds before it powers up.
TEST(OperationLife, AKilledProgramsUnitIsPoweredDownBeforeTheNextOperation) {
    for (const bool partialBytes : {false, true}) {
        LifeRig killed("18F4520");
        killed.control.StartOperation(OperationKind::Program, true);
        // The program dies while it writes FLASH, once a code waits for its operand.
        std::int64_t replies = 0;
        for (int pass = 0; replies < 200 || killed.control.engine().codeWaiting() < 0; ++pass) {
            ASSERT_LT(pass, 2000) << "no command code waited for its operand after " << replies
                                  << " replies";
            replies += killed.port.deliver(1);
        }
        ASSERT_TRUE(killed.chip.powered());
        if (partialBytes)
            killed.unit.receive(108); // a data word whose operand bytes never came
        killed.clock.advance(1'000'000);

        OperationControl next(killed.buffer, killed.model, killed.port, killed.host);
        next.setGracePeriodMs(100);
        killed.port.setReceiveHandler([&] { next.MSComm1_OnComm(); });
        next.portOpened();
        killed.host.ends.clear();
        next.StartOperation(OperationKind::Program, true);
        killed.port.deliver();
        next.replyTimedOut();
        ASSERT_EQ(killed.host.ends.size(), 1u);
        EXPECT_EQ(killed.host.ends[0].outcome, Outcome::Done);
        EXPECT_EQ(killed.unit.allViolations(), std::vector<std::string>{});
        EXPECT_FALSE(killed.chip.powered());
    }
}

// A runaway script is stopped by the command bound right after a core instruction's
// 4-bit code: the one on whose 4th clock the bulk erase starts. The stop completes it
// with a NOP operand (PGD low) and gives the erase its time before the power goes.
TEST(OperationLife, ACutCoreInstructionIsCompletedBeforeThePowerGoes) {
    DeviceModel record = shippedRecord("18F4520");
    record.flash = "16";
    record.eeprom = "0";
    record.deviceid.clear();
    const std::string startingNop = "s00-0000,w10,end";
    const std::size_t tail = record.erase.rfind(startingNop);
    ASSERT_NE(tail, std::string::npos) << record.erase;
    const std::string head = record.erase.substr(0, tail);
    const auto commandsOf = [](const std::string& script) {
        std::int64_t commands = 0;
        for (const ScriptStep& step : decodeScript(script).steps)
            commands += step.word.rfind('s', 0) == 0 ? 2 : 1;
        return commands;
    };
    SimRig rig(record, *sim::findChipModel("18F4520"));
    // Pad the script so that the erase's starting NOP has its code sent as the command
    // just past the bound.
    const std::int64_t pad = rig.control.commandLimit() - commandsOf(head + "end") + 1;
    ASSERT_GT(pad, 0);
    std::string padding;
    for (std::int64_t i = 0; i < pad; ++i)
        padding += "w,";
    rig.model.EraseScript = decodeScript("begin," + padding + head.substr(6) + startingNop);
    rig.chip.fillWithPattern(0x11);
    rig.run(OperationKind::Erase);
    ASSERT_EQ(rig.host.ends.size(), 1u);
    EXPECT_EQ(rig.host.ends[0].outcome, Outcome::UnitSilent);
    EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{});
    EXPECT_FALSE(rig.chip.powered());
    EXPECT_EQ(rig.chip.flash[0], 0xFF); // the erase ran to its end
}
