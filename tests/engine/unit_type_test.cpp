// SPDX-License-Identifier: GPL-3.0-or-later
// The unit type: what a reference unit's status makes of an operation, the probe against
// units of every kind, and the reference unit's own commands, which no original unit gets.
#include "engine/operation_control.hpp"
#include "tests/support/fake_hosts.hpp"
#include "tests/support/fake_unit.hpp"
#include "tests/support/sim_rig.hpp"
#include "texts/unit_texts.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace tessaline;
using namespace tessaline::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct UnitRig {
    explicit UnitRig(FakeUnit::Answer answer, CommandSet type = CommandSet::Reference)
        : unit(port, std::move(answer)) {
        // The fake reads FFh everywhere: no device ID to check; and a small part, so that
        // every operation is short.
        DeviceModel record = shippedRecord("18F2320");
        record.deviceid.clear();
        record.flash = "512";
        record.eeprom = "16";
        record.protect.clear();
        ApplySelectedModel(record, model);
        ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
        port.setReceiveHandler([this] { control.MSComm1_OnComm(); });
        control.setUnitType(type);
    }

    OperationEnd run(OperationKind kind) {
        host.ends.clear();
        control.StartOperation(kind, true);
        unit.run(control);
        return host.ends.empty() ? OperationEnd{kind, Outcome::Refused} : host.ends.back();
    }

    SelectedModelValues model;
    ProgramBuffer buffer;
    FakeBytePort port;
    FakeUnit unit;
    RecordingOperationHost host;
    OperationControl control{buffer, model, port, host};
};

const OperationKind kFive[] = {OperationKind::Program, OperationKind::Read, OperationKind::Erase,
                               OperationKind::Blank, OperationKind::Verify};

const char* const kDoneTexts[] = {"Chip programmed", "Chip read", "Chip erased", "Chip is blank",
                                  "Chip verified"};

} // namespace

// Each failure bit of a reference unit's status fails each of the five operations with its
// own text, whether it comes in a reply, in the reply to the end command after the unit
// fell silent, or in the reply to the script's last command: the end command is the last
// byte, its reply is heard, and no success text is shown.
TEST(ReferenceUnit, EveryFailureBitFailsEveryOperationWithItsText) {
    const std::pair<std::uint8_t, const char*> bits[] = {
        {kStatusRefused, "The unit refused a command and ran nothing more."},
        {kStatusReceiveError, "The unit lost or could not read a byte from the program (a "
                              "receive error) and ran nothing more."},
        {kStatusVppOutOfRange, "The unit refused: VPP outside 10.0 to 12.5 V (4.5 to 5.5 V for "
                               "low-voltage entry)."},
        {kStatusVddOutOfRange, "The unit refused: the target's VDD outside 4.6 to 5.5 V."},
        {kStatusJumpersDisagree, "The unit refused: J1 and J3 disagree (J1 must feed about 5 V "
                                 "with J3 closed for low-voltage entry, 10.0 to 12.5 V with J3 "
                                 "open)."},
        {kStatusNoVppFirst, "The unit refused: it cannot apply VPP before VDD (command 102)."},
    };
    enum class Where { InAReply, SilentThenEndReply, LastReply };
    for (std::size_t k = 0; k < std::size(kFive); ++k) {
        // The commands of the operation when nothing goes wrong.
        UnitRig clean(referenceUnit());
        ASSERT_EQ(clean.run(kFive[k]).outcome, Outcome::Done);
        const std::size_t last = clean.unit.commands.size() - 1;
        for (const auto& [bit, text] : bits) {
            for (const Where where :
                 {Where::InAReply, Where::SilentThenEndReply, Where::LastReply}) {
                const std::size_t at = where == Where::LastReply ? last : 9;
                bool silent = false;
                UnitRig rig([&, status = bit,
                             base = referenceUnit()](const FakeUnit::Command& command) {
                    Bytes replies = base(command);
                    if (command.index == at && where != Where::SilentThenEndReply)
                        replies.back() = status;
                    silent = silent || (command.index == at && where == Where::SilentThenEndReply);
                    if (silent && command.command == kCmdEnd) {
                        silent = false;
                        return Bytes{status};
                    }
                    return silent ? Bytes{} : replies;
                });
                const OperationEnd end = rig.run(kFive[k]);
                const std::string row = operationName(kFive[k]) + " bit " + std::to_string(bit) +
                                        " where " + std::to_string(static_cast<int>(where));
                EXPECT_EQ(end.outcome, Outcome::UnitRefused) << row;
                EXPECT_EQ(end.unitStatus, bit) << row;
                EXPECT_EQ(
                    rig.host.messages,
                    std::vector<std::string>{std::string(text) + "\r\nThe operation was stopped."})
                    << row;
                EXPECT_EQ(rig.host.status(), operationName(kFive[k]) + " failed") << row;
                EXPECT_EQ(
                    std::count(rig.host.statuses.begin(), rig.host.statuses.end(), kDoneTexts[k]),
                    0)
                    << row;
                // Powered down, and the unit confirmed it; after a failing reply the end
                // command is the only command that followed.
                ASSERT_FALSE(rig.unit.commands.empty()) << row;
                EXPECT_EQ(rig.unit.commands.back().command, kCmdEnd) << row;
                EXPECT_TRUE(rig.control.unitIdle()) << row;
                if (where == Where::InAReply) {
                    EXPECT_EQ(rig.unit.commands.size(), at + 2) << row;
                }
            }
        }
    }
}

// A silent reference unit whose end command's reply says nothing stays "unit silent"; one
// that does not answer the end command either leaves its state unknown. A warning bit
// fails nothing.
TEST(ReferenceUnit, SilenceWithoutAReasonAndWarnings) {
    for (const bool endAnswered : {true, false}) {
        bool silent = false;
        UnitRig rig([&, base = referenceUnit()](const FakeUnit::Command& command) {
            silent = silent || command.index == 5;
            if (silent && command.command == kCmdEnd && endAnswered)
                return Bytes{0};
            return silent ? Bytes{} : base(command);
        });
        EXPECT_EQ(rig.run(OperationKind::Read),
                  (OperationEnd{OperationKind::Read, Outcome::UnitSilent}));
        EXPECT_EQ(rig.unit.commands.size(), 7u); // one end command after the silence
        EXPECT_EQ(rig.control.unitIdle(), endAnswered);
    }
    UnitRig rig(referenceUnit([](const FakeUnit::Command&) { return kStatusSelfPowered; }));
    EXPECT_EQ(rig.run(OperationKind::Erase).outcome, Outcome::Done);
    EXPECT_EQ(rig.host.status(), "Chip erased");
}

// The power-down before the report may carry what an earlier program left: the report
// keeps it beside its own status, and fails for it no more than any operation does.
TEST(ReferenceUnit, TheReportKeepsWhatThePowerDownBeforeItSaid) {
    UnitRig rig(referenceUnit([](const FakeUnit::Command& command) -> std::uint8_t {
        return command.index == 0 ? kStatusRefused | kStatusVddOutOfRange : 0;
    }));
    const OperationEnd end = rig.run(OperationKind::UnitReport);
    ASSERT_EQ(end.outcome, Outcome::Done);
    EXPECT_EQ(end.report->powerDownStatus, kStatusRefused | kStatusVddOutOfRange);
    EXPECT_EQ(end.report->vppCentivolts, 1100);
    EXPECT_EQ(rig.unit.commands.size(), 2u);
}

// The probe in legal commands only: powered down first, then 111 with times of 1 to 30 ms
// and the model's own; against units that answer 00h, echo, answer at random, answer one
// triple right or stay silent, the answer is "original unit" and nothing else is sent.
TEST(DetectUnit, EveryOriginalUnitIsOriginalAndGetsOnlyLegalCommands) {
    std::mt19937 random(28);
    std::uint8_t lastTime = 0;
    const std::pair<const char*, FakeUnit::Answer> units[] = {
        {"00h", [](const FakeUnit::Command& command) { return FakeUnit::replies(command); }},
        {"echo of the last byte",
         [](const FakeUnit::Command& command) {
             return Bytes{unitArgumentCount(command.command) > 0 ? command.low : command.command};
         }},
        {"echo of every byte",
         [](const FakeUnit::Command& command) {
             return unitArgumentCount(command.command) > 0 ? Bytes{command.command, command.low}
                                                           : Bytes{command.command};
         }},
        {"at random",
         [&](const FakeUnit::Command&) { return Bytes{static_cast<std::uint8_t>(random())}; }},
        {"silent", [](const FakeUnit::Command&) { return Bytes{}; }},
        {"one triple right",
         [&, reference = referenceUnit()](const FakeUnit::Command& command) {
             Bytes replies = reference(command);
             if (command.index == 6)
                 replies = {unitProbeSignature(1, 2, 3)};
             lastTime = command.low;
             return replies;
         }},
    };
    for (const auto& [name, answer] : units) {
        for (const CommandSet stored : {CommandSet::Original, CommandSet::Reference}) {
            UnitRig rig(answer, stored);
            rig.model.ProgTime = 2;
            const OperationEnd end = rig.run(OperationKind::DetectUnit);
            EXPECT_EQ(end.outcome, Outcome::Done) << name;
            EXPECT_EQ(end.unitType, CommandSet::Original) << name;
            EXPECT_EQ(detectedUnitText(end), "original unit") << name;
            EXPECT_EQ(rig.control.unitType(), CommandSet::Original) << name;
            EXPECT_EQ(rig.unit.notCommands, Bytes{}) << name;
            ASSERT_FALSE(rig.unit.commands.empty()) << name;
            EXPECT_EQ(rig.unit.commands.front().command, kCmdEnd) << name;
            for (const FakeUnit::Command& command : rig.unit.commands) {
                EXPECT_TRUE(isUnitCommand(command.command)) << name;
                if (command.command == kCmdProgTime) {
                    EXPECT_TRUE(command.low >= kProbeMinMs && command.low <= kProbeMaxMs) << name;
                } else {
                    EXPECT_EQ(command.command, kCmdEnd) << name;
                }
            }
            if (std::string(name) != "silent") {
                ASSERT_EQ(rig.unit.commands.size(), 8u) << name;
                EXPECT_EQ(rig.unit.commands.back().low, 2) << name;
            }
        }
    }
}

// A reference unit answers both triples with their signatures and then reports itself.
TEST(DetectUnit, AReferenceUnitIsFoundWithItsFirmware) {
    UnitRig rig(referenceUnit(), CommandSet::Original);
    const OperationEnd end = rig.run(OperationKind::DetectUnit);
    EXPECT_EQ(end.outcome, Outcome::Done);
    EXPECT_EQ(detectedUnitText(end), "reference unit, firmware 2");
    EXPECT_EQ(rig.control.unitType(), CommandSet::Reference);
    std::vector<std::uint8_t> sent;
    for (const FakeUnit::Command& command : rig.unit.commands)
        sent.push_back(command.command);
    EXPECT_EQ(sent, (Bytes{103, 111, 111, 111, 111, 111, 111, 111, 0xE0}));
    std::vector<std::uint8_t> times;
    for (std::size_t i = 1; i <= 6; ++i)
        times.push_back(rig.unit.commands[i].low);
    EXPECT_NE(unitProbeSignature(times[0], times[1], times[2]),
              unitProbeSignature(times[3], times[4], times[5]));
    EXPECT_EQ(std::set<std::uint8_t>(times.begin(), times.begin() + 3).size(), 3u);
    EXPECT_EQ(std::set<std::uint8_t>(times.begin() + 3, times.end()).size(), 3u);
}

// The reference unit's own commands go to no unit of type original: the operations are
// refused with a word, and the link itself sends no such command byte.
TEST(UnitType, AnOriginalUnitNeverGetsTheReferenceUnitsCommands) {
    for (const OperationKind kind : {OperationKind::UnitReport, OperationKind::Calibrate}) {
        UnitRig rig(referenceUnit(), CommandSet::Original);
        if (kind == OperationKind::Calibrate)
            rig.control.StartCalibrate(true, 1100);
        else
            rig.control.StartOperation(kind, true);
        ASSERT_EQ(rig.host.ends.size(), 1u);
        EXPECT_EQ(rig.host.ends[0].outcome, Outcome::Refused);
        EXPECT_TRUE(rig.port.written.empty());
        EXPECT_EQ(rig.host.messages,
                  std::vector<std::string>{
                      std::string(kind == OperationKind::Calibrate ? "The calibration"
                                                                   : "The unit report") +
                      " is for a reference unit only; the unit type of the port is original. "
                      "Detect the unit first.\r\nThe operation was not started."});
    }
    FakeBytePort port;
    RecordingEngineHost host;
    ProgrammerLink link(port, host);
    link.SendUnitReport();
    link.SendCalibrate(1100);
    EXPECT_TRUE(port.written.empty());
    link.setCommandSet(CommandSet::Reference);
    link.SendUnitReport();
    link.SendCalibrate(1100);
    EXPECT_EQ(port.written, (Bytes{0xE0, 0xE4, 0x4C, 0x04}));
}

// The calibration goes out as the unit takes it; a refusal (the unit falls silent and its
// end command's reply says why) fails it, and a failing status in the report fails the
// report as any status does.
TEST(ReferenceUnit, CalibrationStoredOrRefusedAndTheReportsStatus) {
    UnitRig stored(referenceUnit());
    stored.control.StartCalibrate(true, 1085);
    stored.unit.run(stored.control);
    EXPECT_EQ(stored.host.ends.back().outcome, Outcome::Done);
    EXPECT_EQ(stored.host.status(), "Unit calibrated");
    EXPECT_EQ(stored.unit.commands.back().command, kCmdCalibrate);
    EXPECT_EQ(stored.unit.commands.back().low | stored.unit.commands.back().high << 8, 1085);

    bool silent = false;
    UnitRig refused([&](const FakeUnit::Command& command) {
        silent = silent || command.command == kCmdCalibrate;
        if (command.command == kCmdEnd && silent)
            return Bytes{kStatusRefused};
        return silent ? Bytes{} : Bytes{0};
    });
    refused.control.StartCalibrate(true, 1100);
    refused.unit.run(refused.control);
    EXPECT_EQ(refused.host.ends.back().outcome, Outcome::UnitRefused);
    EXPECT_EQ(refused.host.status(), "Calibration failed");

    UnitRig report(referenceUnit([](const FakeUnit::Command& command) -> std::uint8_t {
        return command.command == kCmdUnitReport ? kStatusReceiveError : 0;
    }));
    EXPECT_EQ(report.run(OperationKind::UnitReport).unitStatus, kStatusReceiveError);
    EXPECT_EQ(report.unit.commands.back().command, kCmdEnd);
}
