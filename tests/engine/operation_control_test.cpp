#include "engine/operation_control.hpp"

#include "tests/support/fake_hosts.hpp"
#include "tests/support/fake_serial_port.hpp"

#include <gtest/gtest.h>

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
        port.presentPorts = {1};
        port.setPortOpen(true);
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
    }

    SelectedModelValues model;
    ProgramBuffer buffer;
    FakeSerialPort port;
    RecordingOperationHost host;
    OperationControl control{buffer, model, port, host};
};

} // namespace

TEST(OperationControl, PortNotReadyRefusesAllFiveAndKeepsTheBuffer) {
    for (OperationKind kind : {OperationKind::Program, OperationKind::Read, OperationKind::Erase,
                               OperationKind::Blank, OperationKind::Verify}) {
        ControlRig rig;
        rig.buffer.Flash[0] = 0x12;
        EXPECT_EQ(rig.control.StartOperation(kind, false, 3),
                  OperationControl::StartResult::PortNotReady);
        EXPECT_EQ(rig.host.statuses, std::vector<std::string>{"Serial port 3 error!"});
        EXPECT_TRUE(rig.port.written.empty());
        EXPECT_EQ(rig.host.disables, 0);
        EXPECT_EQ(rig.buffer.Flash[0], 0x12);
    }
}

TEST(OperationControl, BrokenScriptIsRefusedBeforeAnyByte) {
    ControlRig rig;
    rig.model.ProgramScript = splitScript("begin,setflashloop,end");
    EXPECT_EQ(rig.control.StartOperation(OperationKind::Program, true, 1),
              OperationControl::StartResult::ScriptRefused);
    EXPECT_EQ(rig.host.messages,
              std::vector<std::string>{"The loop that begins with 'setflashloop' has no 'loop' "
                                       "after it.\r\nThe operation was not started."});
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.host.enabled);
    EXPECT_FALSE(rig.control.running());
}

TEST(OperationControl, ReadBlanksTheBufferBeforeTheFirstReplyAndShowsWhatWasRead) {
    ControlRig rig;
    rig.buffer.Flash[0] = 0x00;
    rig.buffer.Config[1] = 0x00;
    rig.control.StartOperation(OperationKind::Read, true, 1);
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
    rig.model.ProgramScript = splitScript("begin,w,w,w,end");
    rig.control.StartOperation(OperationKind::Program, true, 1);
    rig.port.written.clear();
    rig.port.deliver({0, 0, 0});
    EXPECT_EQ(rig.port.written, (Bytes{100, 100, 100}));
    rig.port.written.clear();
    rig.port.deliver({0, 0});
    EXPECT_EQ(rig.port.written, Bytes{103});
    EXPECT_EQ(rig.host.status(), "Chip programmed");
}

TEST(OperationControl, FailedCheckReportsThroughTheCompletionText) {
    ControlRig rig;
    rig.model.ProgramScript = splitScript("begin,temp=s09,checkblankflash,end");
    rig.control.StartOperation(OperationKind::Program, true, 1);
    rig.answerAll(0x00);
    EXPECT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.status(), "Chip programmed");

    rig.control.StartOperation(OperationKind::Verify, true, 1);
    rig.answerAll(0x00);
    EXPECT_EQ(rig.host.status(), "Chip verify failed");
    EXPECT_TRUE(rig.control.engine.state.CheckFailed);
    rig.control.StartOperation(OperationKind::Blank, true, 1);
    rig.answerAll(0xFF);
    EXPECT_EQ(rig.host.status(), "Chip is blank");
}

TEST(OperationControl, ModelWithoutEepromStartsWithNoEepromAddress) {
    ControlRig rig;
    rig.model.EepromSize = 0;
    rig.control.StartOperation(OperationKind::Erase, true, 1);
    EXPECT_EQ(rig.control.engine.state.EepromLastAddress, -1);
    EXPECT_EQ(rig.control.engine.state.FlashLastAddress, 15);
}

TEST(OperationControl, OperationStartedInsideTheCompletionKeepsItsOwnName) {
    ControlRig rig;
    bool restarted = false;
    rig.control.StartOperation(OperationKind::Erase, true, 1);
    rig.answerAll();
    ASSERT_EQ(rig.host.status(), "Chip erased");
    rig.control.StartOperation(OperationKind::Program, true, 1);
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
            rig.control.StartOperation(OperationKind::Erase, true, 1);
        }
    });
    rig.port.deliver({0});
    ASSERT_TRUE(restarted);
    EXPECT_EQ(rig.control.engine.state.RunningOperation, "erase");
    rig.port.setReceiveHandler([&] { rig.control.MSComm1_OnComm(); });
    rig.answerAll();
    EXPECT_EQ(rig.host.status(), "Chip erased");
}

TEST(OperationControl, SilentUnitEndsTheOperationAndPowersDown) {
    ControlRig rig;
    rig.control.StartOperation(OperationKind::Program, true, 1);
    rig.port.written.clear();
    rig.control.replyTimedOut();
    EXPECT_EQ(rig.port.written, Bytes{103});
    EXPECT_EQ(rig.host.status(), "Program all failed");
    EXPECT_EQ(rig.host.messages,
              std::vector<std::string>{
                  "The programmer unit does not answer.\r\nThe operation was stopped."});
    EXPECT_TRUE(rig.host.enabled);
    EXPECT_FALSE(rig.control.running());
    EXPECT_TRUE(rig.control.lastOperationFailed());
    // The late reply is dropped.
    rig.port.written.clear();
    rig.port.deliver({0, 0});
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.port.incoming.empty());
}

TEST(OperationControl, FailingPortEndsTheOperationWithTheSystemError) {
    ControlRig rig;
    rig.control.StartOperation(OperationKind::Verify, true, 1);
    rig.control.portFailed("No such device");
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
    rig.control.StartOperation(OperationKind::Read, true, 1);
    EXPECT_TRUE(rig.port.incoming.empty());
    rig.answerAll(0x3C);
    EXPECT_EQ(rig.buffer.Flash[0], 0x3C);
}

TEST(OperationControl, RuntimeScriptErrorEndsTheOperationNotTheProgram) {
    ControlRig rig;
    rig.control.StartOperation(OperationKind::Program, true, 1);
    // A word the check at start would refuse, reached anyway (the script was changed).
    rig.control.engine.state.RunningScript[1] = "bogus";
    rig.control.engine.loadScript(rig.control.engine.state.RunningScript);
    rig.control.engine.state.InstructionIndex = 2;
    rig.control.engine.state.RunningOperation = "program";
    rig.port.written.clear();
    rig.port.deliver({0});
    EXPECT_EQ(rig.port.written, Bytes{103});
    EXPECT_EQ(rig.host.messages.back(),
              "Unrecognized symbolic instruction 'bogus'.\r\nThe operation was stopped.");
    EXPECT_TRUE(rig.host.enabled);
}
