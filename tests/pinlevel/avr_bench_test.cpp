// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's firmware in simulated silicon, judged at pin level by the strict chip, in
// one process with no wall clock: one model of each family through every operation, the
// ID check, a stop, and the fault builds of the firmware, each of which must be caught.
#include "firmware/unit_batch.hpp"
#include "tests/pinlevel/avr_rig.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// A program in the first `flashBytes` of FLASH and the whole EEPROM, with configuration
// values that use only bits the chip has and protect nothing.
void fillProgram(ProgramBuffer& buffer, const sim::ChipModel& chip, std::size_t flashBytes) {
    fillMemories(buffer, 3);
    std::fill(buffer.Flash.begin() + static_cast<std::ptrdiff_t>(flashBytes), buffer.Flash.end(),
              0xFF);
    fillUnprotectedConfig(buffer, chip, 3);
}

pinlevel::AvrUnit::Setup setupFor(const std::string& firmware, const char* chip) {
    pinlevel::AvrUnit::Setup setup;
    setup.firmware = firmware;
    setup.model = sim::findChipModel(chip);
    return setup;
}

bool sameFrames(const std::vector<pinlevel::IcspPinDecoder::Frame>& a,
                const std::vector<pinlevel::IcspPinDecoder::Frame>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto& x, const auto& y) { return x.sameTransfer(y); });
}

class FirmwareFamilies : public ::testing::TestWithParam<const char*> {};

} // namespace

// The five operations reply-paced, then their very commands and waits again in fast mode
// at 1,000,000 baud on a unit with the same chip: the same frames, the same chip. A
// "waitwr" polls the chip until its write ends, which a replay cannot do (the program
// makes it a point where it awaits the reply): where the scripts poll, only the erase and
// the blank check are replayed.
TEST_P(FirmwareFamilies, EraseBlankCheckProgramVerifyAndReadBackWithoutAViolation) {
    AvrRig rig(shippedRecord(GetParam()));
    ASSERT_EQ(rig.unit.error(), "");
    rig.unit.chip().fillWithPattern(0x5A);
    rig.unit.recordFrames(true);

    ASSERT_TRUE(rig.run(OperationKind::Erase));
    EXPECT_EQ(rig.host.status(), "Chip erased");
    ASSERT_TRUE(rig.run(OperationKind::Blank));
    EXPECT_EQ(rig.host.status(), "Chip is blank");

    const bool polls = shippedRecord(GetParam()).program.find("waitwr") != std::string::npos;
    std::vector<StreamItem> replayed = rig.stream;
    std::vector<pinlevel::IcspPinDecoder::Frame> pacedFrames = rig.unit.frames();
    const auto memories = [](const sim::Pic18Chip& chip) {
        return std::vector<std::vector<std::uint8_t>>{
            chip.flash, chip.eeprom, {chip.config.begin(), chip.config.end()}};
    };
    std::vector<std::vector<std::uint8_t>> pacedChip = memories(rig.unit.chip());

    fillProgram(rig.buffer, rig.unit.chip().model(), 4096);
    const ProgramBuffer programmed = rig.buffer;
    ASSERT_TRUE(rig.run(OperationKind::Program));
    EXPECT_EQ(rig.host.status(), "Chip programmed");
    EXPECT_EQ(rig.unit.chip().flash, programmed.Flash);
    EXPECT_EQ(rig.unit.chip().eeprom, programmed.Eeprom);
    ASSERT_TRUE(rig.run(OperationKind::Verify));
    EXPECT_EQ(rig.host.status(), "Chip verified");

    ResetBuffer(rig.buffer, rig.model.FlashSize, rig.model.EepromSize, rig.model.ConfigErased);
    ASSERT_TRUE(rig.run(OperationKind::Read));
    EXPECT_EQ(rig.buffer.Flash, programmed.Flash);
    EXPECT_EQ(rig.buffer.Eeprom, programmed.Eeprom);
    EXPECT_EQ(rig.buffer.Config, programmed.Config);
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});
    // The firmware's own time per command, beyond its pin work: 0.2 ms at most.
    EXPECT_LE(rig.unit.monitor().ownCyclesMax(), 3200u);

    if (!polls) {
        replayed = rig.stream;
        pacedFrames = rig.unit.frames();
        pacedChip = memories(rig.unit.chip());
    }
    pinlevel::AvrUnit fast(setupFor(firmwarePath(), GetParam()));
    fast.chip().fillWithPattern(0x5A);
    fast.recordFrames(true);
    FastDriver driver(fast);
    ASSERT_TRUE(driver.enter(kRate1000000));
    std::vector<PacketBytes> payloads = packetize(replayed, 452);
    payloads.push_back({kOpLeave});
    ASSERT_TRUE(driver.send(payloads)) << driver.replies();
    fast.finish(false);
    EXPECT_EQ(fast.violations(), std::vector<std::string>{});
    EXPECT_GT(fast.frames().size(), 100u);
    EXPECT_TRUE(sameFrames(fast.frames(), pacedFrames));
    EXPECT_EQ(memories(fast.chip()), pacedChip);
}

INSTANTIATE_TEST_SUITE_P(OneModelEach, FirmwareFamilies,
                         ::testing::Values("18F452", "18F2220", "18F2420"));

TEST(FirmwareBench, ReadsTheDeviceIdAndStopsAtAWrongChip) {
    AvrRig right(shippedRecord("18F4520"));
    right.control.StartIdentify(true);
    right.port.deliver();
    ASSERT_EQ(right.host.ends.size(), 1u);
    EXPECT_EQ(right.host.ends[0].outcome, Outcome::Done);
    EXPECT_EQ(right.host.ends[0].deviceId, right.unit.chip().reportedDeviceId());
    EXPECT_EQ(right.finish(), std::vector<std::string>{});

    // The command-line tool's exit status 4.
    AvrRig wrong(shippedRecord("18F4520"), {.chip = "18F452"});
    wrong.unit.chip().fillWithPattern(0x33);
    const std::vector<std::uint8_t> before = wrong.unit.chip().flash;
    ASSERT_FALSE(wrong.run(OperationKind::Program));
    ASSERT_EQ(wrong.host.ends.size(), 1u);
    EXPECT_EQ(wrong.host.ends[0].outcome, Outcome::WrongDevice);
    EXPECT_EQ(wrong.unit.chip().flash, before);
    EXPECT_EQ(wrong.finish(), std::vector<std::string>{});
}

// J1 and J3 in their low-voltage positions: PGM up before MCLR goes to VDD. A chip whose
// LVP bit is 0 does not enter programming mode that way.
TEST(FirmwareBench, LowVoltageEntryThroughPgm) {
    AvrRig rig(shippedRecord("18F2221"), {.lowVoltage = true});
    ASSERT_TRUE(rig.run(OperationKind::Erase));
    ASSERT_TRUE(rig.run(OperationKind::Blank));
    EXPECT_EQ(rig.host.status(), "Chip is blank");
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});

    AvrRig locked(shippedRecord("18F2221"), {.lowVoltage = true});
    locked.unit.chip().config[6] &= 0xFB; // CONFIG4L: LVP = 0
    locked.control.StartIdentify(true);
    locked.port.deliver();
    const std::vector<std::string> found = locked.finish();
    ASSERT_FALSE(found.empty());
    EXPECT_NE(found[0].find("LVP bit"), std::string::npos) << found[0];
}

TEST(FirmwareBench, AStopMidOperationPowersDownCleanly) {
    AvrRig rig(shippedRecord("18F4520"));
    fillProgram(rig.buffer, rig.unit.chip().model(), 4096);
    int commands = 0;
    rig.host.onCommand = [&] {
        if (++commands == 600)
            rig.control.requestStop();
    };
    rig.run(OperationKind::Program);
    ASSERT_EQ(rig.host.ends.size(), 1u);
    EXPECT_EQ(rig.host.ends[0].outcome, Outcome::Stopped);
    EXPECT_FALSE(rig.unit.decoder().targetPowered());
    EXPECT_EQ(rig.finish(), std::vector<std::string>{});
}

namespace {

// Command bytes straight to the firmware, each group answered before the next goes out
// (or given up on after the program's reply time, if the unit stays silent), with a wait
// after it.
struct Exchange {
    std::vector<std::uint8_t> bytes;
    int waitMs = 0;
};

struct Seen {
    std::vector<std::string> violations;
    std::vector<std::uint8_t> replies;
    std::string vcd; // the ICSP lines
};

Seen talk(const pinlevel::AvrUnit::Setup& setup, const std::vector<Exchange>& exchanges) {
    pinlevel::AvrUnit unit(setup);
    if (!unit.error().empty())
        return {{unit.error()}, {}, {}};
    std::ostringstream vcd;
    unit.writeVcd(vcd);
    pinlevel::AvrLoopbackPort port(unit);
    Seen seen;
    port.setReceiveThreshold(1);
    port.setReceiveHandler([&] {
        for (const std::uint8_t byte : port.readAll())
            seen.replies.push_back(byte);
    });
    for (const Exchange& step : exchanges) {
        for (const std::uint8_t byte : step.bytes)
            port.writeByte(byte);
        port.deliver();
        port.waitMilliseconds(step.waitMs);
    }
    unit.finish(false);
    seen.violations = unit.violations();
    seen.vcd = vcd.str();
    return seen;
}

bool mentions(const std::vector<std::string>& texts, const char* text) {
    return std::any_of(texts.begin(), texts.end(), [text](const std::string& each) {
        return each.find(text) != std::string::npos;
    });
}

// MCLR at VPP or at VDD, or a rising PGC, in the waveform.
bool touched(const std::string& vcd) {
    return vcd.find("\nb11 m\n") != std::string::npos ||
           vcd.find("\nb10 m\n") != std::string::npos || vcd.find("\n1c\n") != std::string::npos;
}

} // namespace

// Supplies out of their windows, jumpers that disagree, and commands out of order: the
// unit answers nothing and leaves the target as it is (no VPP on MCLR, no clock) until
// the end command, whose reply says why. The bench's own check of the silence agrees.
// The first reply is the one to the power-down that the program starts with.
TEST(FirmwareBench, RefusesBadSuppliesJumpersAndOrdersInSilenceAndSaysWhyAfter103) {
    struct Row {
        const char* what;
        sim::UnitSupplies supplies;
        std::vector<std::uint8_t> commands; // each on its own
        int status;                         // in the reply to the 103 that follows
    };
    const std::vector<std::uint8_t> powerUp{101};
    const Row rows[] = {
        {"VPP 13.6 V", {.vppMillivolts = 13600}, powerUp, kStatusVppOutOfRange},
        {"VPP 9.0 V", {.vppMillivolts = 9000}, powerUp, kStatusVppOutOfRange},
        {"VDD 4.4 V, then a clock", {.vddMillivolts = 4400}, {101, 107}, kStatusVddOutOfRange},
        {"a target with its own 3.3 V",
         {.vddMillivolts = 3300, .targetPowered = true},
         powerUp,
         kStatusSelfPowered | kStatusVddOutOfRange},
        {"J1 on +5 V, J3 for high voltage",
         {.mclrFromFiveVolts = true},
         powerUp,
         kStatusJumpersDisagree},
        {"J1 on the boost module, J3 for low voltage",
         {.lowVoltage = true},
         powerUp,
         kStatusJumpersDisagree},
        {"VPP first", {}, {102}, kStatusNoVppFirst},
        {"a clock while unpowered", {}, {107}, 0},
    };
    for (const Row& row : rows) {
        pinlevel::AvrUnit::Setup setup = setupFor(firmwarePath(), "18F452");
        setup.supplies = row.supplies;
        // The program powers an unknown unit down first.
        std::vector<Exchange> exchanges{{{103}}};
        for (const std::uint8_t command : row.commands)
            exchanges.push_back(
                {command == 107 ? std::vector<std::uint8_t>{107, 0} : std::vector{command}});
        exchanges.push_back({{103}});
        const Seen seen = talk(setup, exchanges);
        EXPECT_EQ(seen.violations, std::vector<std::string>{}) << row.what;
        EXPECT_FALSE(touched(seen.vcd)) << row.what;
        EXPECT_EQ(seen.replies, (std::vector<std::uint8_t>{
                                    0, static_cast<std::uint8_t>(kStatusRefused | row.status)}))
            << row.what;
    }

    // A target with its own good supply: a warning in every reply of the session.
    pinlevel::AvrUnit::Setup own = setupFor(firmwarePath(), "18F452");
    own.supplies.targetPowered = true;
    const Seen session = talk(own, {{{101}}, {{107, 9}}, {{110}}, {{103}}});
    EXPECT_EQ(session.violations, std::vector<std::string>{});
    EXPECT_TRUE(touched(session.vcd));
    EXPECT_EQ(std::count(session.replies.begin(), session.replies.end(), kStatusSelfPowered), 4);

    // The program that does not read replies times out, and says nothing of success.
    AvrRig low(shippedRecord("18F452"), {.vddMillivolts = 4400});
    EXPECT_FALSE(low.run(OperationKind::Erase));
    EXPECT_NE(low.host.status(), "Chip erased");
    EXPECT_EQ(low.finish(), std::vector<std::string>{});
}

// The unit reports its version, calibration, the supplies measured while powered down
// and its jumpers; a calibration scales every measurement after it.
TEST(FirmwareBench, ReportsItsSuppliesAndTakesACalibration) {
    const Seen seen = talk(setupFor(firmwarePath(), "18F452"),
                           {{{kCmdUnitReport}}, {{kCmdCalibrate, 0x1A, 0x04}}, {{kCmdUnitReport}}});
    EXPECT_EQ(seen.violations, std::vector<std::string>{});
    // 10.97 V of VPP as read against 1100 mV, 10.47 V against 1050 mV; no VDD.
    EXPECT_EQ(seen.replies, (std::vector<std::uint8_t>{kReferenceFirmwareVersion, 0, 0, 0x49, 0x04,
                                                       0, 0, 0, 0, 0, kReferenceFirmwareVersion,
                                                       0x1A, 0x04, 0x17, 0x04, 0, 0, 0, 0}));
}

// The UART runs at the rate its registers give: 55,556 baud for 56000, 0.8 % slow.
TEST(FirmwareBench, TheLineRunsAt56000BaudWithinOnePercent) {
    pinlevel::AvrUnit unit(setupFor(firmwarePath(), "18F452"));
    std::vector<std::uint64_t> sent;
    unit.onByte = [&](std::uint8_t) { sent.push_back(unit.cycle()); };
    for (const std::uint8_t byte : {101, 107, 9, 110})
        unit.send(byte);
    unit.runUntil(unit.cycle() + 100 * pinlevel::AvrUnit::kCyclesPerMs);
    ASSERT_EQ(sent.size(), 4u);
    const double byteTime = static_cast<double>(sent[3] - sent[2]) / 16e6;
    EXPECT_NEAR(byteTime, 10 / 56000.0, 0.01 * 10 / 56000.0);
    EXPECT_EQ(unit.byteCycles(), sent[3] - sent[2]);
}

// Each fault build leaves out one rule; the bench must name what goes wrong, and the
// right firmware must go through the same exchange without a violation.
TEST(FirmwareBench, CatchesEveryFaultBuild) {
    struct Row {
        const char* build;
        const char* chip;
        std::vector<Exchange> exchanges;
        const char* violation;
        sim::UnitSupplies supplies = {};
        std::uint64_t garbleByte = 0;
    };
    const std::vector<Exchange> readByte{{{101}}, {{107, 0x9}}, {{110}}, {{103}}};
    const std::vector<Exchange> pulse{{{101}}, {{111, 2}}, {{109}}, {{103}}};
    const std::vector<Exchange> session{{{101}}, {{103}}};
    const Row rows[] = {
        {"sample-at-rise", "18F452", readByte, "to a read whose byte on PGD was FFH"},
        {"pgd-output-in-read", "18F452", readByte, "contention"},
        {"short-p10", "18F4520", pulse, "P10"},
        {"short-pulse", "18F452", pulse, "the programming time is 2 ms"},
        {"data-with-clock", "18F452", {{{101}}, {{107, 0}}, {{108, 0x55, 0x0E}}, {{103}}}, "P3/P4"},
        {"late-vdd-off", "18F452", session, "P17"},
        {"clock-unpowered", "18F452", {{{107, 0}}}, "not in programming mode"},
        {"reply-before-pulse", "18F452", pulse, "the pins moved after the reply to command 109"},
        {"no-partial-timeout",
         "18F452",
         {{{101}}, {{107}, 600}, {{103}}},
         "the last command got no reply"},
        {"ignore-measurement",
         "18F452",
         session,
         "VPP on MCLR after a refusal",
         {.vddMillivolts = 4400}},
        {"swap-sense", "18F452", session, "command 101 got no reply"},
        {"arguments-as-commands",
         "18F452",
         {{{101}}, {{107, 0x0D}}, {{108, 0x67, 0x00}}, {{103}}},
         "which no command asked for",
         {},
         4},
        {"early-mclr-release", "18F452", session, "MCLR released while the target's VDD"},
        {"unsettled-reference", "18F452", session, "command 101 got no reply"},
    };
    for (const Row& row : rows) {
        for (const bool faulty : {false, true}) {
            pinlevel::AvrUnit::Setup setup =
                setupFor(faulty ? firmwarePath(std::string("tessaline-unit-fault-") + row.build)
                                : firmwarePath(),
                         row.chip);
            setup.supplies = row.supplies;
            setup.garbleByte = row.garbleByte;
            const std::vector<std::string> found = talk(setup, row.exchanges).violations;
            if (faulty)
                EXPECT_TRUE(mentions(found, row.violation))
                    << row.build << ": " << testing::PrintToString(found);
            else
                EXPECT_EQ(found, std::vector<std::string>{}) << row.build;
        }
    }
}

// What a reply-paced Program All sent, cut into packets at 1,000,000 baud: the same
// transfers on the pins, the same chip, and nothing the bench can fault.
TEST(FirmwareBench, FastModeRunsTheReplyPacedCommandsFrameForFrame) {
    AvrRig paced(shippedRecord("18F4520"));
    paced.unit.chip().fillWithPattern(0x5A);
    paced.unit.recordFrames(true);
    fillProgram(paced.buffer, paced.unit.chip().model(), 256);
    ASSERT_TRUE(paced.run(OperationKind::Program));
    ASSERT_EQ(paced.finish(), std::vector<std::string>{});

    pinlevel::AvrUnit unit(setupFor(firmwarePath(), "18F4520"));
    unit.chip().fillWithPattern(0x5A);
    unit.recordFrames(true);
    FastDriver driver(unit);
    ASSERT_TRUE(driver.enter(kRate1000000));
    std::vector<PacketBytes> payloads = packetize(paced.stream, 452);
    payloads.push_back({kOpLeave});
    const bool sent = driver.send(payloads);
    ASSERT_TRUE(sent) << driver.replies();
    unit.finish(false);
    EXPECT_EQ(unit.violations(), std::vector<std::string>{});
    EXPECT_GT(unit.frames().size(), 1000u);
    EXPECT_TRUE(sameFrames(unit.frames(), paced.unit.frames()));
    EXPECT_EQ(unit.chip().flash, paced.unit.chip().flash);
    EXPECT_EQ(unit.chip().eeprom, paced.unit.chip().eeprom);
    EXPECT_FALSE(unit.monitor().fastMode());
}

// A byte lost or garbled anywhere in a packet: it runs nothing, not a frame; its reply
// says so, and ABORT brings the unit back to plain mode.
TEST(FirmwareBench, InFastModeALostOrGarbledByteRunsNothingOfItsPacket) {
    const PacketBytes packet = fastPacket(0, {101, 107, 0, 108, 0x12, 0x34, 103});
    for (const std::uint64_t at : {1, 2, 4, 6, 12, 13}) {
        for (const bool lost : {true, false}) {
            pinlevel::AvrUnit::Setup setup = setupFor(firmwarePath(), "18F452");
            (lost ? setup.dropByte : setup.garbleByte) = 2 + at; // after ENTER's two bytes
            pinlevel::AvrUnit unit(setup);
            FastDriver driver(unit);
            ASSERT_TRUE(driver.enter(kRate1000000));
            driver.write(packet, 1);
            driver.write(abortPacket(), 1);
            unit.finish(false);
            const std::string replies = driver.replies();
            EXPECT_EQ(replies.substr(replies.size() > 6 ? replies.size() - 6 : 0), "FF:/00")
                << at << lost << replies;
            if (!(lost && at == 1)) {
                EXPECT_EQ(replies.substr(2, 5), ":/80,") << at << lost << replies;
            }
            EXPECT_EQ(unit.decoder().framesCompleted(), 0u) << at << lost;
            EXPECT_EQ(unit.violations(), std::vector<std::string>{}) << at << lost;
        }
    }
}

// A byte lost or garbled anywhere in a Program All's packets: the packet it hits runs
// nothing and is answered as rejected, nothing after it runs, and ABORT powers the unit
// down and brings it back to plain mode; the bench finds nothing amiss on the pins.
TEST(FirmwareBench, InFastModeNoLostOrGarbledByteMakesTheUnitLie) {
    SimRig rig(shippedRecord("18F4520"), *sim::findChipModel("18F4520"));
    fillProgram(rig.buffer, rig.chip.model(), 256);
    std::vector<StreamItem> stream;
    rig.probe.onWrite = [&](std::uint8_t byte) { stream.push_back({false, byte, 0}); };
    rig.host.onWait = [&](int ms) {
        stream.push_back({true, 0, ms});
        rig.clock.advance(static_cast<std::int64_t>(ms) * 1000);
    };
    ASSERT_TRUE(rig.run(OperationKind::Program));
    std::vector<PacketBytes> payloads = packetize(stream, 452);
    payloads.push_back({kOpLeave});
    std::uint64_t total = 0;
    for (const PacketBytes& payload : payloads)
        total += payload.size() + kPacketHeaderSize + kPacketTrailerSize;
    for (std::uint64_t at = 1; at < total; at += total / 25) {
        for (const bool lost : {true, false}) {
            pinlevel::AvrUnit::Setup setup = setupFor(firmwarePath(), "18F4520");
            (lost ? setup.dropByte : setup.garbleByte) = 2 + at; // after ENTER's two bytes
            pinlevel::AvrUnit unit(setup);
            FastDriver driver(unit);
            ASSERT_TRUE(driver.enter(kRate1000000));
            EXPECT_FALSE(driver.send(payloads)) << at << lost;
            driver.write(abortPacket(), 1, 200);
            const std::string replies = driver.replies();
            EXPECT_NE(replies.find("/80"), std::string::npos) << at << lost << replies;
            EXPECT_NE(replies.find("FF:/"), std::string::npos) << at << lost << replies;
            driver.waitMilliseconds(5);
            unit.setHostBaud(56000);
            EXPECT_EQ(driver.plain({100}, 1), std::vector<std::uint8_t>{0}) << at << lost;
            unit.finish(false);
            EXPECT_EQ(unit.violations(), std::vector<std::string>{}) << at << lost;
        }
    }
}

// Fast mode ends on LEAVE, on ABORT, after a quiet second powered down, and when the
// program talks at 56000 baud again (then powered down, and deaf until the line is quiet);
// then the unit answers plain commands at 56000 baud.
TEST(FirmwareBench, FastModeEndsOnLeaveAbortAQuietSecondOrTheOldRate) {
    struct Row {
        const char* way;
        std::function<void(pinlevel::AvrUnit&, FastDriver&)> end;
        std::string replies; // how the fast replies begin
    };
    const Row rows[] = {
        {"LEAVE",
         [](pinlevel::AvrUnit&, FastDriver& d) {
             d.send({{101, kOpLeave}});
         },
         "00:/00"},
        {"ABORT",
         [](pinlevel::AvrUnit&, FastDriver& d) {
             d.send({{101}});
             d.write(abortPacket(), 1);
         },
         "00:/00,FF:/00"},
        {"a quiet second", [](pinlevel::AvrUnit&, FastDriver& d) { d.waitMilliseconds(1010); }, ""},
        // The end command at the old rate comes in garbled: the unit powers down and drops
        // what comes until the line has been quiet; the end command after that is answered.
        {"the old rate",
         [](pinlevel::AvrUnit& unit, FastDriver& d) {
             d.send({{101}});
             unit.setHostBaud(56000);
             d.write({103}, 0, 50);
             d.waitMilliseconds(150);
             EXPECT_EQ(d.plain({103}, 1).size(), 1u) << "the end command after quiet";
         },
         "00:/00"},
    };
    for (const Row& row : rows) {
        pinlevel::AvrUnit unit(setupFor(firmwarePath(), "18F452"));
        FastDriver driver(unit);
        ASSERT_TRUE(driver.enter(kRate1000000)) << row.way;
        row.end(unit, driver);
        // The program's turnaround, then its rate back at 56000 baud.
        driver.waitMilliseconds(5);
        unit.setHostBaud(56000);
        EXPECT_EQ(driver.plain({100}, 1), std::vector<std::uint8_t>{0}) << row.way;
        EXPECT_EQ(driver.replies().substr(0, std::string(row.replies).size()), row.replies)
            << row.way;
        unit.finish(false);
        EXPECT_EQ(unit.violations(), std::vector<std::string>{}) << row.way;
    }
}

// Each fast-mode fault build leaves out one rule; the bench names what goes wrong, and the
// right firmware goes through the same exchange without a violation.
TEST(FirmwareBench, CatchesEveryFastModeFaultBuild) {
    struct Row {
        const char* build;
        std::function<void(pinlevel::AvrUnit&, FastDriver&)> drive;
        const char* violation;
    };
    const auto packets = [](const std::vector<PacketBytes>& payloads) {
        return [payloads](pinlevel::AvrUnit&, FastDriver& driver) { driver.send(payloads); };
    };
    const Row rows[] = {
        {"fast-exec-bad-crc",
         [](pinlevel::AvrUnit&, FastDriver& driver) {
             PacketBytes damaged = fastPacket(0, {101, 100});
             damaged[6] ^= 0x01;
             driver.write(damaged, 1);
             driver.write(abortPacket(), 1);
         },
         "which the unit had to reject"},
        {"fast-reply-early", packets({{101, 107, 0, 108, 0, 0, 103}}), "came before"},
        {"fast-short-wait",
         packets({{101, 107, 0, 108, 0, 0, kOpWait, 5, 0, 107, 0, 108, 0, 0, 103}}),
         "its WAIT asks for 5 ms"},
        {"fast-no-fallback",
         [](pinlevel::AvrUnit& unit, FastDriver& driver) {
             driver.send({{101}});
             // The program talks at 56000 baud again, and after a quiet line sends 103.
             unit.setHostBaud(56000);
             driver.write({103}, 0, 150);
             driver.write({103}, 1, 100);
         },
         "left powered"},
        {"fast-overwrite-buffer",
         packets({{101, 107, 0, 108, 0x11, 0x0E, 107, 0, 108, 0x22, 0x0E, 103},
                  {101, 107, 0, 108, 0x33, 0x0E, 103}}),
         "on the pins where"},
    };
    for (const Row& row : rows) {
        for (const bool faulty : {false, true}) {
            pinlevel::AvrUnit unit(
                setupFor(faulty ? firmwarePath(std::string("tessaline-unit-fault-") + row.build)
                                : firmwarePath(),
                         "18F452"));
            FastDriver driver(unit);
            ASSERT_TRUE(driver.enter(kRate1000000)) << row.build;
            row.drive(unit, driver);
            driver.waitMilliseconds(50);
            unit.finish(false);
            const std::vector<std::string> found = unit.violations();
            if (faulty)
                EXPECT_TRUE(mentions(found, row.violation))
                    << row.build << ": " << testing::PrintToString(found);
            else
                EXPECT_EQ(found, std::vector<std::string>{})
                    << row.build << ": " << driver.replies();
        }
    }
}
