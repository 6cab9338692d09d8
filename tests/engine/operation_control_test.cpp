// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/operation_control.hpp"

#include "protocol/unit_protocol.hpp"
#include "tests/support/fake_byte_port.hpp"
#include "tests/support/fake_hosts.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

using namespace tessaline;
using namespace tessaline::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ControlRig {
    ControlRig() {
        DeviceModel record;
        record.flash = "16";
        record.eeprom = "8";
        record.voltageseq = "vddvpp";
        record.configerased = "00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40";
        record.program = "begin,end";
        record.read = "begin,flash=s09,end";
        record.erase = "begin,end";
        record.blankcheck = "begin,temp=s09,checkblankflash,end";
        record.verify = "begin,temp=s09,checkflash,end";
        ApplySelectedModel(record, model);
        ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
        port.setReceiveHandler([this] { control.MSComm1_OnComm(); });
        // Program All runs its own script alone unless a test asks for the verify.
        control.setVerifyAfterProgram(false);
    }

    // Answers every command with one byte (two after a read, the data first) until the
    // operation ends.
    void answerAll(std::uint8_t data = 0xFF) {
        for (int guard = 0; control.running() && guard < 1000; ++guard) {
            const Bytes sent = port.written;
            port.written.clear();
            Bytes replies;
            for (std::size_t i = 0; i < sent.size(); ++i) {
                const std::uint8_t command = sent[i];
                if (command == 107 || command == 111)
                    ++i;
                else if (command == 108)
                    i += 2;
                if (command == 110)
                    replies.push_back(data);
                replies.push_back(0);
            }
            if (replies.empty())
                return;
            port.deliver(replies);
        }
        EXPECT_FALSE(control.running()) << "the operation still runs after 1000 replies";
    }

    SelectedModelValues model;
    ProgramBuffer buffer;
    FakeBytePort port;
    RecordingOperationHost host;
    OperationControl control{buffer, model, port, host};
};

} // namespace

TEST(OperationControl, PortNotReadyRefusesAllFiveAndKeepsTheBuffer) {
    for (OperationKind kind : {OperationKind::Program, OperationKind::Read, OperationKind::Erase,
                               OperationKind::Blank, OperationKind::Verify}) {
        ControlRig rig;
        rig.buffer.Flash[0] = 0x12;
        rig.control.StartOperation(kind, false);
        EXPECT_EQ(rig.host.ends, (std::vector<OperationEnd>{{kind, Outcome::Refused, ""}}));
        EXPECT_TRUE(rig.port.written.empty());
        EXPECT_EQ(rig.host.disables, 0);
        EXPECT_EQ(rig.buffer.Flash[0], 0x12);
    }
}

TEST(OperationControl, BrokenScriptIsRefusedBeforeAnyByte) {
    ControlRig rig;
    rig.model.ProgramScript = decodeScript("begin,setflashloop,end", {"devices.cfg", 7});
    rig.control.StartOperation(OperationKind::Program, true);
    const std::string problem =
        "devices.cfg:7: The loop that begins with 'setflashloop' has no 'loop' after it.";
    EXPECT_EQ(rig.host.ends,
              (std::vector<OperationEnd>{{OperationKind::Program, Outcome::Refused, problem}}));
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.host.enabled);
    EXPECT_FALSE(rig.control.running());
}

TEST(OperationControl, ReadBlanksTheBufferBeforeTheFirstReplyAndShowsWhatWasRead) {
    ControlRig rig;
    rig.buffer.Flash[0] = 0x00;
    rig.buffer.Config[1] = 0x00;
    rig.control.StartOperation(OperationKind::Read, true);
    EXPECT_EQ(rig.buffer.Flash[0], 0xFF);
    EXPECT_EQ(rig.buffer.Config[1], 0x27);
    EXPECT_EQ(rig.host.displays, 1);
    EXPECT_EQ(rig.host.status(), "Begin read all");
    EXPECT_FALSE(rig.host.enabled);
    EXPECT_EQ(rig.port.written, Bytes{101});
    EXPECT_GE(rig.host.timerMs, 2000);
    rig.answerAll(0x3C);
    EXPECT_EQ(rig.buffer.Flash[0], 0x3C);
    EXPECT_EQ(rig.host.status(), "Chip read");
    EXPECT_EQ(rig.host.displays, 2);
    EXPECT_TRUE(rig.host.enabled);
    EXPECT_EQ(rig.host.timerMs, -1);
}

TEST(OperationControl, SeveralBytesInOneEventRunOneStepEach) {
    ControlRig rig;
    rig.model.ProgramScript = decodeScript("begin,temp=s09,w,end");
    rig.control.StartOperation(OperationKind::Program, true);
    rig.port.deliver({0});
    rig.port.deliver({0});
    rig.port.written.clear();
    rig.port.deliver({0x5A, 0}); // both replies of the read
    EXPECT_EQ(rig.port.written, Bytes{100});
    EXPECT_EQ(rig.control.engine().state().TempByte, 0x5A);
    rig.port.written.clear();
    rig.port.deliver({0});
    rig.port.deliver({0});
    EXPECT_EQ(rig.host.status(), "Chip programmed");
}

// A byte that no command asked for puts every later step out of line: the operation
// ends as a failure, in the middle or within the grace period after its last reply.
TEST(OperationControl, BytesThatNoCommandAskedForEndTheOperation) {
    ControlRig rig;
    rig.model.ProgramScript = decodeScript("begin,w,w,end");
    rig.control.StartOperation(OperationKind::Program, true);
    rig.port.written.clear();
    rig.port.deliver({0, 0xA5});
    // The replies still pace the commands: the operation goes on to the next point where
    // the chip is idle (here the script's end) and fails there.
    EXPECT_EQ(rig.port.written, (Bytes{100}));
    for (int reply = 0; reply < 3; ++reply)
        rig.port.deliver({0});
    EXPECT_EQ(rig.port.written, (Bytes{100, 100, 103}));
    EXPECT_EQ(rig.host.ends.back(), (OperationEnd{OperationKind::Program, Outcome::StrayBytes}));
    EXPECT_EQ(rig.host.status(), "Program all failed");
    EXPECT_FALSE(rig.control.running());

    rig.control.setGracePeriodMs(100);
    rig.control.StartOperation(OperationKind::Program, true);
    for (int reply = 0; reply < 4; ++reply)
        rig.port.deliver({0});
    EXPECT_TRUE(rig.control.running()); // the end waits for the grace period
    EXPECT_EQ(rig.host.timerMs, 100);
    rig.port.deliver({0xA5});
    EXPECT_EQ(rig.host.ends.back(), (OperationEnd{OperationKind::Program, Outcome::StrayBytes}));
    EXPECT_NE(rig.host.status(), "Chip programmed");

    rig.control.StartOperation(OperationKind::Program, true);
    for (int reply = 0; reply < 4; ++reply)
        rig.port.deliver({0});
    rig.control.replyTimedOut(); // the grace period has passed
    EXPECT_EQ(rig.host.status(), "Chip programmed");
}

TEST(OperationControl, FailedCheckReportsThroughTheCompletionText) {
    ControlRig rig;
    rig.model.ProgramScript = decodeScript("begin,temp=s09,checkblankflash,end");
    rig.control.StartOperation(OperationKind::Program, true);
    rig.answerAll(0x00);
    EXPECT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.status(), "Chip verify failed");

    rig.control.StartOperation(OperationKind::Verify, true);
    rig.answerAll(0x00);
    EXPECT_EQ(rig.host.status(), "Chip verify failed");
    EXPECT_TRUE(rig.control.engine().state().CheckFailed);
    rig.control.StartOperation(OperationKind::Blank, true);
    rig.answerAll(0xFF);
    EXPECT_EQ(rig.host.status(), "Chip is blank");
}

TEST(OperationControl, ModelWithoutEepromStartsWithNoEepromAddress) {
    ControlRig rig;
    rig.model.EepromSize = 0;
    rig.control.StartOperation(OperationKind::Erase, true);
    EXPECT_EQ(rig.control.engine().state().EepromLastAddress, -1);
    EXPECT_EQ(rig.control.engine().state().FlashLastAddress, 15);
}

TEST(OperationControl, OperationStartedInsideTheCompletionKeepsItsOwnName) {
    ControlRig rig;
    bool restarted = false;
    rig.control.StartOperation(OperationKind::Erase, true);
    rig.answerAll();
    ASSERT_EQ(rig.host.status(), "Chip erased");
    rig.control.StartOperation(OperationKind::Program, true);
    rig.port.written.clear();
    rig.port.deliver({0});
    rig.port.written.clear();
    rig.host.statuses.clear();
    // The program completion is due with the next byte; an erase starts right after it,
    // as a click handled while the completion lets events run would.
    rig.port.setReceiveHandler([&] {
        rig.control.MSComm1_OnComm();
        if (!restarted && rig.host.status() == "Chip programmed") {
            restarted = true;
            rig.control.StartOperation(OperationKind::Erase, true);
        }
    });
    rig.port.deliver({0});
    ASSERT_TRUE(restarted);
    EXPECT_EQ(rig.control.engine().state().RunningOperation, OperationKind::Erase);
    rig.port.setReceiveHandler([&] { rig.control.MSComm1_OnComm(); });
    rig.answerAll();
    EXPECT_EQ(rig.host.status(), "Chip erased");
}

TEST(OperationControl, SilentUnitEndsTheOperationAndPowersDown) {
    ControlRig rig;
    rig.control.StartOperation(OperationKind::Program, true);
    rig.port.written.clear();
    rig.control.replyTimedOut();
    EXPECT_EQ(rig.port.written, Bytes{103});
    EXPECT_EQ(rig.host.status(), "Program all failed");
    EXPECT_EQ(rig.host.messages,
              std::vector<std::string>{
                  "The programmer unit does not answer.\r\nThe operation was stopped."});
    EXPECT_TRUE(rig.host.enabled);
    EXPECT_FALSE(rig.control.running());
    EXPECT_EQ(rig.host.ends.back(),
              (OperationEnd{OperationKind::Program, Outcome::UnitSilent, ""}));
    // The late reply is dropped.
    rig.port.written.clear();
    rig.port.deliver({0, 0});
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.port.incoming.empty());
}

// A net under any script: more commands than the model's sizes can need end the
// operation as a silent unit does.
TEST(OperationControl, AnOperationThatNeverEndsIsStoppedAfterItsCommandBound) {
    ControlRig rig;
    std::string erase = "begin,";
    for (int i = 0; i < 15000; ++i)
        erase += "s00-0000,";
    DeviceModel record;
    record.flash = "16";
    record.eeprom = "8";
    record.voltageseq = "vddvpp";
    record.erase = erase + "end";
    ApplySelectedModel(record, rig.model);
    rig.control.StartOperation(OperationKind::Erase, true);
    std::int64_t commands = 0;
    Bytes last;
    while (rig.control.running() && commands < 100000) {
        commands += static_cast<std::int64_t>(
            std::count_if(rig.port.written.begin(), rig.port.written.end(),
                          [](std::uint8_t byte) { return byte >= 100; }));
        if (!rig.port.written.empty())
            last = rig.port.written;
        rig.port.written.clear();
        rig.port.deliver({0});
    }
    ASSERT_FALSE(rig.control.running()) << "no bound stopped the operation";
    // The command past the bound is the last one; the end command follows it, and its
    // reply ends the operation.
    EXPECT_EQ(commands, rig.control.commandLimit() + 2);
    EXPECT_EQ(last, (Bytes{108, 0, 0, 103}));
    EXPECT_EQ(rig.host.ends.back(), (OperationEnd{OperationKind::Erase, Outcome::UnitSilent, ""}));
}

TEST(OperationControl, ReplyTimeOutHoldsForAnyProgrammingTime) {
    ControlRig rig;
    const std::pair<std::int32_t, int> rows[] = {
        {2, 2002}, {-7, 2000}, {255, 2255}, {300, 2255}, {INT32_MAX, 2255}};
    for (const auto& [progTime, timeoutMs] : rows) {
        rig.model.ProgTime = progTime;
        EXPECT_EQ(rig.control.replyTimeoutMs(), timeoutMs) << progTime;
    }
}

TEST(OperationControl, FailingPortEndsTheOperationWithTheSystemError) {
    ControlRig rig;
    rig.control.StartOperation(OperationKind::Verify, true);
    rig.control.portFailed("No such device");
    EXPECT_EQ(rig.host.ends.back(),
              (OperationEnd{OperationKind::Verify, Outcome::PortFailed, "No such device"}));
    EXPECT_EQ(rig.host.status(), "Verify failed");
    EXPECT_EQ(rig.host.messages.back(),
              "The serial port failed: No such device\r\nThe operation was stopped.");
    rig.control.replyTimedOut();
    EXPECT_EQ(rig.host.messages.size(), 1u);
}

TEST(OperationControl, BytesWhileIdleAreDroppedAndNeverReachTheNextOperation) {
    ControlRig rig;
    rig.port.setReceiveThreshold(1);
    rig.port.deliver({0x55, 0x66});
    EXPECT_TRUE(rig.port.incoming.empty());
    rig.port.setReceiveThreshold(0);
    rig.port.incoming = {0x77};
    rig.control.StartOperation(OperationKind::Read, true);
    EXPECT_TRUE(rig.port.incoming.empty());
    rig.answerAll(0x3C);
    EXPECT_EQ(rig.buffer.Flash[0], 0x3C);
}

namespace {

// How a run leaves the plain path, at its n-th command (0: while the operation starts).
enum class Turn {
    None,
    Stop,
    StrayByte,
    StrayByteAfterTheEnd,
    UnitFallsSilent,
    PortFails,
    RefusingStatus,   // the reply's status says "refused"
    SilentWithAReason // no reply until an end command, whose reply says why
};

// A model of two FLASH bytes whose read and verify loop over them; the unit reads FFh
// everywhere, so a verify fails at address 0, which the buffer holds as 12h.
struct RuleRig {
    explicit RuleRig(bool deviceId) {
        DeviceModel record;
        record.flash = "2";
        record.eeprom = "0";
        record.voltageseq = "vddvpp";
        record.configerased = "00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40";
        record.deviceid = deviceId ? "0420 FFE0" : "";
        record.erase = "begin,end";
        record.read = "begin,setflashloop,flash=s09,loop,end";
        record.verify = "begin,setflashloop,checkflash=s09,loop,end";
        ApplySelectedModel(record, model);
        ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
        buffer.Flash[0] = 0x12;
        port.setReceiveHandler([this] { control.MSComm1_OnComm(); });
        port.onWrite = [this](std::uint8_t byte) {
            if (!control.running())
                writtenWhileIdle.push_back(byte);
        };
        control.setGracePeriodMs(kStrayByteGraceMs);
    }

    // Answers every command as the unit would and lets the reply timer run out where the
    // unit is silent, taking the turn at the given command, until the operation ends.
    void run(OperationKind kind, Turn turn, int at) {
        bool stopAtStart = turn == Turn::Stop && at == 0;
        host.onEvents = [&] {
            if (std::exchange(stopAtStart, false))
                control.requestStop();
        };
        control.StartOperation(kind, true);
        std::size_t answered = 0;
        int commands = 0;
        bool silent = false;
        bool reasonDue = false;
        bool strayAfterTheEnd = turn == Turn::StrayByteAfterTheEnd;
        for (int pass = 0; control.running(); ++pass) {
            ASSERT_LT(pass, 1000) << "the operation did not end";
            Bytes replies;
            while (answered < port.written.size()) {
                const std::uint8_t command = port.written[answered];
                answered += 1 + static_cast<std::size_t>(unitArgumentCount(command));
                const bool now = ++commands == at;
                if (now && turn == Turn::Stop)
                    control.requestStop();
                silent = silent || (now && turn == Turn::UnitFallsSilent);
                if (now && turn == Turn::SilentWithAReason)
                    silent = reasonDue = true;
                if (now && turn == Turn::PortFails) {
                    control.portFailed("Input/output error");
                    return;
                }
                if (reasonDue && command == kCmdEnd && !now) {
                    silent = reasonDue = false;
                    replies.push_back(kStatusReceiveError | kStatusRefused);
                    continue;
                }
                for (int reply = 1; !silent && reply < unitReplyCount(command); ++reply)
                    replies.push_back(command == kCmdReadByte ? 0xFF : 0x00);
                if (!silent)
                    replies.push_back(now && turn == Turn::RefusingStatus ? kStatusRefused : 0x00);
                if (now && turn == Turn::StrayByte)
                    replies.push_back(0xA5);
            }
            if (!replies.empty())
                port.deliver(replies);
            else if (std::exchange(strayAfterTheEnd, false))
                port.deliver({0xA5});
            else
                control.replyTimedOut(); // the grace period, or a silent unit
        }
    }

    SelectedModelValues model;
    ProgramBuffer buffer;
    FakeBytePort port;
    RecordingOperationHost host;
    OperationControl control{buffer, model, port, host};
    Bytes writtenWhileIdle;
};

const Bytes kIdentify = {101, 107,  0,    108,  0x3F, 0x0E, 107,  0,    108, 0xF8, 0x6E, 107,  0,
                         108, 0xFF, 0x0E, 107,  0,    108,  0xF7, 0x6E, 107, 0,    108,  0xFE, 0x0E,
                         107, 0,    108,  0xF6, 0x6E, 107,  9,    110,  107, 9,    110,  103};

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

OperationEnd withUnitStatus(OperationEnd end, std::uint8_t status) {
    end.unitStatus = status;
    return end;
}

OperationEnd withReport(OperationEnd end) {
    end.report = UnitReport{};
    return end;
}

} // namespace

// One row for each rule of the stage diagram and the stop latch in operation_control.hpp:
// the bytes that go out (never one while the operation reads as idle), the end, and
// whether the check failure is shown.
TEST(OperationControl, EveryRuleOfTheStageDiagramHolds) {
    using K = OperationKind;
    using O = Outcome;
    enum class Setup { Plain, UnitStateUnknown, DeviceId, Reference, ReferenceStateUnknown };
    struct Run {
        K kind;
        Setup setup;
        Turn turn;
        int at;
    };
    struct Expected {
        Bytes written;
        OperationEnd end;
        bool checkFailureShown = false;
    };
    struct Row {
        const char* rule;
        Run run;
        Expected expected;
    };
    const Bytes readOneByte = {107, 9, 110, 100};
    const Bytes failedVerify = {101, 100, 107, 9, 110, 103};
    const Row rows[] = {
        {"a unit in an unknown state is powered down first",
         {K::Erase, Setup::UnitStateUnknown, Turn::None, 0},
         {{103, 101, 103}, {K::Erase, O::Done}}},
        {"a stop before the first command ends the operation at once",
         {K::Erase, Setup::Plain, Turn::Stop, 0},
         {{}, {K::Erase, O::Stopped}}},
        {"a stop before the first command still powers down a unit in an unknown state",
         {K::Erase, Setup::UnitStateUnknown, Turn::Stop, 0},
         {{103}, {K::Erase, O::Stopped}}},
        {"a stop lands at the end of a loop's pass",
         {K::Read, Setup::Plain, Turn::Stop, 3},
         {Bytes{101, 100} + readOneByte + Bytes{103}, {K::Read, O::Stopped}}},
        {"a stop lands between two scripts",
         {K::Read, Setup::DeviceId, Turn::Stop, 2},
         {kIdentify, {K::Read, O::Stopped}}},
        {"a stop in the last script without a loop lets it run to its end",
         {K::Erase, Setup::Plain, Turn::Stop, 1},
         {{101, 103}, {K::Erase, O::Done}}},
        {"a stop during Identify: it reports what it read",
         {K::Identify, Setup::Plain, Turn::Stop, 3},
         {kIdentify, {K::Identify, O::Done, "", 0xFFFF}}},
        {"a stop during Identify's power-down: it reports what it read",
         {K::Identify, Setup::UnitStateUnknown, Turn::Stop, 1},
         {Bytes{103} + kIdentify, {K::Identify, O::Done, "", 0xFFFF}}},
        {"a stray byte fails the operation at the end of a loop's pass",
         {K::Read, Setup::Plain, Turn::StrayByte, 3},
         {Bytes{101, 100} + readOneByte + Bytes{103}, {K::Read, O::StrayBytes}}},
        {"a stray byte fails the operation between two scripts",
         {K::Read, Setup::DeviceId, Turn::StrayByte, 2},
         {kIdentify, {K::Read, O::StrayBytes}}},
        {"a stray byte within the grace period fails the operation",
         {K::Erase, Setup::Plain, Turn::StrayByteAfterTheEnd, 0},
         {{101, 103}, {K::Erase, O::StrayBytes}}},
        {"a silent unit: the end command goes out, awaited by nothing",
         {K::Read, Setup::Plain, Turn::UnitFallsSilent, 3},
         {{101, 100, 107, 9, 103}, {K::Read, O::UnitSilent}}},
        {"a failed port after a core instruction's code: its NOP operand, then the end command",
         {K::Identify, Setup::Plain, Turn::PortFails, 2},
         {{101, 107, 0, 108, 0, 0, 103}, {K::Identify, O::PortFailed, "Input/output error"}}},
        {"a check failure is shown once the operation ends for it",
         {K::Verify, Setup::Plain, Turn::None, 0},
         {failedVerify, {K::Verify, O::CheckFailed}, true}},
        {"no check failure after a stray byte in the failing byte's batch",
         {K::Verify, Setup::Plain, Turn::StrayByte, 4},
         {failedVerify, {K::Verify, O::StrayBytes}}},
        {"no check failure after a stray byte before the failing byte",
         {K::Verify, Setup::Plain, Turn::StrayByte, 3},
         {failedVerify, {K::Verify, O::StrayBytes}}},
        {"no check failure after a stray byte in the grace period",
         {K::Verify, Setup::Plain, Turn::StrayByteAfterTheEnd, 0},
         {failedVerify, {K::Verify, O::StrayBytes}}},
        {"the unit's own operations power the unit down first, whatever its state",
         {K::UnitReport, Setup::Reference, Turn::None, 0},
         {{103, 0xE0}, withReport({K::UnitReport, O::Done})}},
        {"a stop in Unit lands at the next reply",
         {K::UnitReport, Setup::Reference, Turn::Stop, 2},
         {{103, 0xE0}, {K::UnitReport, O::Stopped}}},
        {"a reference unit's refusing status: the end command alone, its reply awaited",
         {K::Read, Setup::Reference, Turn::RefusingStatus, 3},
         {{101, 100, 107, 9, 103}, withUnitStatus({K::Read, O::UnitRefused}, 0x01)}},
        {"a silent reference unit: the end command alone, whose reply names the reason",
         {K::Identify, Setup::Reference, Turn::SilentWithAReason, 2},
         {{101, 107, 0, 103}, withUnitStatus({K::Identify, O::UnitRefused}, 0x03)}},
        {"the reply to PowerDown's end command fails nothing",
         {K::Erase, Setup::ReferenceStateUnknown, Turn::RefusingStatus, 1},
         {{103, 101, 103}, {K::Erase, O::Done}}},
        {"a check failure is not shown after a refusal",
         {K::Verify, Setup::Reference, Turn::RefusingStatus, 5},
         {failedVerify + Bytes{103}, withUnitStatus({K::Verify, O::UnitRefused}, 0x01)}},
    };
    for (const Row& row : rows) {
        RuleRig rig(row.run.setup == Setup::DeviceId);
        if (row.run.setup == Setup::UnitStateUnknown ||
            row.run.setup == Setup::ReferenceStateUnknown)
            rig.control.portOpened();
        if (row.run.setup == Setup::Reference || row.run.setup == Setup::ReferenceStateUnknown)
            rig.control.setUnitType(CommandSet::Reference);
        rig.run(row.run.kind, row.run.turn, row.run.at);
        EXPECT_EQ(rig.port.written, row.expected.written) << row.rule;
        EXPECT_EQ(rig.writtenWhileIdle, Bytes{}) << row.rule;
        EXPECT_EQ(rig.host.ends, std::vector<OperationEnd>{row.expected.end}) << row.rule;
        const bool shown = !rig.host.messages.empty() &&
                           rig.host.messages[0].rfind("Verify failed at address 000000h!", 0) == 0;
        EXPECT_EQ(shown, row.expected.checkFailureShown) << row.rule;
    }
}
