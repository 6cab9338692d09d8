#include "engine/script_engine.hpp"

#include "tests/support/fake_hosts.hpp"
#include "tests/support/fake_serial_port.hpp"

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// An engine over a recording port; the test plays the unit by handing reply bytes in.
struct EngineRig {
    explicit EngineRig(std::int32_t flashSize = 64, std::int32_t eepromSize = 16) {
        model.FlashSize = flashSize;
        model.EepromSize = eepromSize;
        model.VoltageSequence = 1;
        model.ProgTime = 30;
        for (int k = 0; k < kConfigByteCount; ++k)
            model.ConfigErased[static_cast<std::size_t>(k)] = 0x10 + k;
        ResetBuffer(buffer, flashSize, eepromSize, model.ConfigErased);
    }

    void start(const std::string& script, const std::string& operation = "program") {
        engine.loadScript(splitScript(script));
        engine.state.FlashLastAddress = model.FlashSize - 1;
        engine.state.EepromLastAddress = model.EepromSize - 1;
        engine.state.CurrentAddress = 0;
        engine.RunScriptStep(true);
        engine.state.RunningOperation = operation;
    }

    // Hands one reply byte to the engine and returns what the step sent.
    Bytes reply(std::uint8_t value = 0) {
        port.written.clear();
        engine.state.ReceivedByte = value;
        engine.RunScriptStep(false);
        return port.written;
    }

    // Replies until the operation completes; returns every byte sent and counts replies.
    Bytes runToEnd(int& replies, int limit = 100000) {
        Bytes all = port.written;
        replies = 0;
        while (host.completions.empty() && host.errors.empty() && replies < limit) {
            const Bytes sent = reply();
            ++replies;
            all.insert(all.end(), sent.begin(), sent.end());
        }
        return all;
    }

    SelectedModelValues model;
    ProgramBuffer buffer;
    FakeSerialPort port;
    RecordingEngineHost host;
    ScriptEngine engine{buffer, model, port, host};
};

} // namespace

TEST(ScriptEngine, WorkedExampleSendsTheBytesAndTakesEightReplies) {
    EngineRig rig(4, 0);
    rig.buffer.Flash = {0x12, 0x34, 0xFF, 0xFF};
    rig.start("begin,calcflash,setflashloop,s0d-flash,loop,end");
    int replies = 0;
    const Bytes sent = rig.runToEnd(replies);
    EXPECT_EQ(sent, (Bytes{101, 100, 100, 107, 0x0D, 108, 0x12, 0x34, 100, 100, 103}));
    EXPECT_EQ(replies, 8);
    EXPECT_EQ(rig.host.completions, std::vector<std::string>{"program"});
    EXPECT_EQ(rig.engine.state.RunningOperation, "");
    EXPECT_EQ(rig.port.receiveThreshold(), 0);
    EXPECT_EQ(rig.host.statuses, std::vector<std::string>{"F:1/2"});
}

TEST(ScriptEngine, ControlWordsSendTheirCommands) {
    struct Row {
        const char* script;
        std::int32_t voltageSequence;
        Bytes first;
    };
    const Row rows[] = {
        {"begin", 1, {101}},          {"begin", 2, {102}},           {"end", 1, {103}},
        {"startprog", 1, {109}},      {"setprogtime", 1, {111, 30}}, {"calcflash", 1, {100}},
        {"s0d-1a2b", 1, {107, 0x0D}}, {"S0D-1A2B", 1, {107, 0x0D}},  {"w50", 1, {100}},
    };
    for (const Row& row : rows) {
        EngineRig rig;
        rig.model.VoltageSequence = row.voltageSequence;
        rig.start(row.script);
        EXPECT_EQ(rig.port.written, row.first) << row.script;
        EXPECT_EQ(rig.port.receiveThreshold(), 1) << row.script;
    }
}

TEST(ScriptEngine, RawCommandAndAddressWordsSendTheirOperandNext) {
    EngineRig rig;
    rig.start("s0d-1a2b,movlw-low,movlw-high,movlw-upper");
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x2B, 0x1A}));
    rig.engine.state.CurrentAddress = 0x01234;
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x00}));
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x34, 0x0E}));
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x00}));
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x12, 0x0E}));
    rig.engine.state.CurrentAddress = 65536;
    rig.reply();
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x01, 0x0E}));
    EXPECT_EQ(rig.engine.link.AddressHigh, 0);
    EXPECT_EQ(rig.engine.link.AddressLow, 0);
}

TEST(ScriptEngine, WaitRoundsHalfToEvenAndSendsANop) {
    for (const auto& [word, ms] : std::vector<std::pair<std::string, int>>{
             {"w50", 50}, {"w", 0}, {"w2.5", 2}, {"w3.5", 4}, {"wx", 0}}) {
        EngineRig rig;
        rig.start(word);
        EXPECT_EQ(rig.host.waits, std::vector<int>{ms}) << word;
        EXPECT_EQ(rig.port.written, Bytes{100});
    }
}

TEST(ScriptEngine, UnknownWordsStopTheEngine) {
    for (const char* script : {"s00-0e0", "", "beginn", "frobnicate"}) {
        EngineRig rig;
        rig.start(script);
        ASSERT_EQ(rig.host.errors.size(), 1u) << script;
        EXPECT_EQ(rig.host.errors[0],
                  "Unrecognized symbolic instruction '" + std::string(script) + "'.");
        EXPECT_TRUE(rig.port.written.empty());
        EXPECT_EQ(rig.port.receiveThreshold(), 0);
        EXPECT_TRUE(rig.engine.halted());
    }
}

TEST(ScriptEngine, LoopsOverBlankSingleAndFullBuffers) {
    {
        EngineRig rig;
        rig.start("calcflash,setflashloop,s0d-flash,loop,end");
        int replies = 0;
        const Bytes sent = rig.runToEnd(replies);
        EXPECT_EQ(sent, (Bytes{100, 100, 103}));
        EXPECT_EQ(rig.engine.state.FlashLastAddress, -1);
        EXPECT_EQ(rig.engine.state.CurrentAddress, 0);
    }
    {
        EngineRig rig;
        rig.buffer.Flash[0] = 0x00;
        rig.start("calcflash,setflashloop,s0d-flash,loop");
        int replies = 0;
        const Bytes sent = rig.runToEnd(replies);
        EXPECT_EQ(sent, (Bytes{100, 100, 107, 0x0D, 108, 0x00, 0xFF, 100, 100}));
        EXPECT_EQ(rig.engine.state.InstructionIndex, 5);
        EXPECT_EQ(rig.host.completions.size(), 1u);
    }
}

TEST(ScriptEngine, OddFlashSizeSendsErasedHighByte) {
    EngineRig rig(3, 0);
    rig.buffer.Flash = {0x01, 0x02, 0x03};
    rig.engine.loadScript(splitScript("s0d-flash"));
    rig.engine.state.CurrentAddress = 2;
    rig.engine.state.LoopEndAddress = 2;
    rig.engine.RunScriptStep(true);
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x03, 0xFF}));
    EXPECT_EQ(rig.engine.state.CurrentAddress, 4);
}

TEST(ScriptEngine, ConfigurationAndEepromWrites) {
    EngineRig rig;
    rig.buffer.Config[2] = 0xA5;
    rig.buffer.Eeprom[0] = 0x5A;
    rig.engine.state.LoopEndAddress = 15;
    rig.start("s0f-config2l,movlw-eeprom");
    EXPECT_EQ(rig.port.written, (Bytes{107, 0x0F}));
    EXPECT_EQ(rig.host.statuses.back(), "CONF2L:");
    EXPECT_EQ(rig.reply(), (Bytes{108, 0xA5, 0xA5}));
    EXPECT_EQ(rig.engine.state.CurrentAddress, 0);
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x00}));
    EXPECT_EQ(rig.host.statuses.back(), "E:1/16");
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x5A, 0x0E}));
    EXPECT_EQ(rig.engine.state.CurrentAddress, 1);
}

TEST(ScriptEngine, WaitwrPollsUntilTheWriteBitClears) {
    EngineRig rig;
    rig.start("waitwr,end");
    const Bytes poll1 = rig.port.written;
    Bytes sent;
    for (int i = 0; i < 5; ++i) {
        const Bytes step = rig.reply();
        sent.insert(sent.end(), step.begin(), step.end());
    }
    EXPECT_EQ(poll1, (Bytes{107, 0x00}));
    EXPECT_EQ(sent, (Bytes{108, 0xA6, 0x50, 107, 0x00, 108, 0xF5, 0x6E, 107, 0x02, 110}));
    EXPECT_TRUE(rig.reply(0x02).empty());       // data byte: write bit still set
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x00})); // second byte of the read: poll again
    for (int i = 0; i < 5; ++i)
        rig.reply();
    EXPECT_TRUE(rig.reply(0xFD).empty()); // every bit but the write bit
    EXPECT_EQ(rig.engine.state.TempByte, 0xFD);
    EXPECT_EQ(rig.reply(), Bytes{103});
}

TEST(ScriptEngine, ReadsStoreTheDataByteAndAdvance) {
    EngineRig rig;
    rig.engine.state.LoopEndAddress = 63;
    rig.start("flash=s09,temp=s02,config7h=s09,eeprom=s0a");
    rig.engine.state.CurrentAddress = 5;
    EXPECT_EQ(rig.reply(), Bytes{110});
    EXPECT_TRUE(rig.reply(0x3C).empty());
    EXPECT_EQ(rig.buffer.Flash[5], 0x3C);
    EXPECT_EQ(rig.engine.state.CurrentAddress, 6);
    const std::size_t statusCount = rig.host.statuses.size();
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x02}));
    rig.reply();
    rig.reply(0x77);
    EXPECT_EQ(rig.engine.state.TempByte, 0x77);
    EXPECT_EQ(rig.host.statuses.size(), statusCount);
    EXPECT_EQ(rig.engine.state.CurrentAddress, 6);
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x09}));
    EXPECT_EQ(rig.host.statuses.back(), "CONF7H:");
    rig.reply();
    rig.reply(0x42);
    EXPECT_EQ(rig.buffer.Config[13], 0x42);
    EXPECT_EQ(rig.engine.state.CurrentAddress, 6);
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x0A}));
    rig.reply();
    rig.reply(0x99);
    EXPECT_EQ(rig.buffer.Eeprom[6], 0x99);
}

TEST(ScriptEngine, ChecksPassOrReportTheFirstMismatch) {
    struct Row {
        const char* word;
        std::int32_t current;
        std::int32_t temp;
        std::string message; // empty: a match
        std::int32_t nextAddress;
    };
    const Row rows[] = {
        {"checkblankflash", 0x10, 0xFF, "", 0x11},
        {"checkblankflash", 0x12, 0x00,
         "Chip is not blank at address 000012h!\r\nThe value read from that address is 00h.", 0x12},
        {"checkeeprom", 3, 0x00,
         "Verify failed at address F00003h!\r\nThe value read from that address is 00h.\r\n"
         "The value expected is FFh.",
         3},
        {"checkblankconfig2h", 3, 0x00,
         "Chip is not blank at address 300003h!\r\nThe value read from that address is 00h.", 3},
        {"checkblankconfig2h", 3, 0x13, "", 3},
        {"checkconfig1l", 7, 0x27, "", 7},
        {"checkflash", 0x20, 0x5A,
         "Verify failed at address 000020h!\r\nThe value read from that address is 5Ah.\r\n"
         "The value expected is 12h.",
         0x20},
    };
    for (const Row& row : rows) {
        EngineRig rig;
        rig.buffer.Config[0] = 0x27;
        rig.buffer.Flash[0x20] = 0x12;
        rig.engine.loadScript(splitScript(std::string(row.word) + ",w,w,end"));
        rig.engine.state.CurrentAddress = row.current;
        rig.engine.state.TempByte = row.temp;
        rig.engine.RunScriptStep(true);
        EXPECT_EQ(rig.port.written, Bytes{100}) << row.word;
        EXPECT_EQ(rig.engine.state.CurrentAddress, row.nextAddress) << row.word;
        if (row.message.empty()) {
            EXPECT_TRUE(rig.host.messages.empty()) << row.word;
            EXPECT_EQ(rig.engine.state.InstructionIndex, 2);
            EXPECT_FALSE(rig.engine.state.CheckFailed);
        } else {
            EXPECT_EQ(rig.host.messages, std::vector<std::string>{row.message}) << row.word;
            EXPECT_EQ(rig.engine.state.InstructionIndex, 4);
            EXPECT_TRUE(rig.engine.state.CheckFailed);
        }
    }
}

TEST(ScriptEngine, CompletionWithoutOperationCallsNothing) {
    EngineRig rig;
    rig.start("end", "");
    rig.reply();
    EXPECT_TRUE(rig.host.completions.empty());
    EXPECT_TRUE(rig.port.written.empty());
}
