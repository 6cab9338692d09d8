// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/script_engine.hpp"

#include "tests/support/fake_byte_port.hpp"
#include "tests/support/fake_hosts.hpp"

#include <gtest/gtest.h>

#include <functional>

using namespace tessaline;
using namespace tessaline::test;

namespace {

using Bytes = std::vector<std::uint8_t>;
// The data byte the unit answers a read with, chosen from the engine's state.
using DataSource = std::function<std::uint8_t(const ExecutionState&)>;

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

    void start(const std::string& script) {
        engine.start(OperationKind::Program, decodeScript(script));
    }

    // Hands one reply byte to the engine and returns what the step sent.
    Bytes reply(std::uint8_t value = 0) {
        port.written.clear();
        engine.receiveByte(value);
        return port.written;
    }

    // Answers every command as the unit would (a read with the data byte and one more)
    // until the operation ends; returns every byte sent and counts the replies.
    Bytes runToEnd(int& replies, const DataSource& data = {}) {
        Bytes all = port.written;
        bool readSent = false;
        replies = 0;
        while (engine.running() && !engine.halted() && replies < 1000000) {
            const Bytes sent = reply(readSent && data ? data(engine.state()) : 0);
            readSent = sent == Bytes{110};
            ++replies;
            all.insert(all.end(), sent.begin(), sent.end());
        }
        EXPECT_FALSE(engine.running() && !engine.halted())
            << "the script still runs after " << replies << " replies";
        return all;
    }
    Bytes runToEnd(const DataSource& data = {}) {
        int replies = 0;
        return runToEnd(replies, data);
    }

    SelectedModelValues model;
    ProgramBuffer buffer;
    FakeBytePort port;
    RecordingEngineHost host;
    ScriptEngine engine{buffer, model, port, host};
};

Bytes tail(const Bytes& bytes, std::size_t count) {
    return {bytes.end() - static_cast<std::ptrdiff_t>(std::min(count, bytes.size())), bytes.end()};
}

} // namespace

TEST(ScriptEngine, WorkedExampleSendsTheBytesAndTakesEightReplies) {
    EngineRig rig(4, 0);
    rig.buffer.Flash = {0x12, 0x34, 0xFF, 0xFF};
    rig.start("begin,calcflash,setflashloop,s0d-flash,loop,end");
    int replies = 0;
    const Bytes sent = rig.runToEnd(replies);
    EXPECT_EQ(sent, (Bytes{101, 100, 100, 107, 0x0D, 108, 0x12, 0x34, 100, 100, 103}));
    EXPECT_EQ(replies, 8);
    EXPECT_EQ(rig.host.completions, std::vector<OperationKind>{OperationKind::Program});
    EXPECT_FALSE(rig.engine.state().RunningOperation.has_value());
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
    rig.start("s0d-1a2b,end");
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x2B, 0x1A}));

    // The address words in a FLASH loop whose last pass runs at 1234h.
    EngineRig loop(0x1236, 0);
    loop.start("setflashloop,movlw-low,movlw-high,movlw-upper,s0d-flash,loop");
    const Bytes lastPass{100,  107, 0x00, 108,  0x34, 0x0E, 107, 0x00, 108,  0x12, 0x0E, 107,
                         0x00, 108, 0x00, 0x0E, 107,  0x0D, 108, 0xFF, 0xFF, 100,  100};
    EXPECT_EQ(tail(loop.runToEnd(), lastPass.size()), lastPass);

    EXPECT_EQ(SplitAddress(0x1234), (AddressBytes{0x00, 0x12, 0x34}));
    EXPECT_EQ(SplitAddress(65536), (AddressBytes{0x01, 0x00, 0x00}));
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
        EXPECT_FALSE(rig.engine.running());
    }
}

TEST(ScriptEngine, LoopsOverBlankSingleAndFullBuffers) {
    {
        EngineRig rig;
        rig.start("calcflash,setflashloop,s0d-flash,loop,end");
        EXPECT_EQ(rig.runToEnd(), (Bytes{100, 100, 103}));
        EXPECT_EQ(rig.engine.state().FlashLastAddress, -1);
        EXPECT_EQ(rig.engine.state().CurrentAddress, 0);
    }
    {
        EngineRig rig;
        rig.buffer.Flash[0] = 0x00;
        rig.start("calcflash,setflashloop,s0d-flash,loop");
        EXPECT_EQ(rig.runToEnd(), (Bytes{100, 100, 107, 0x0D, 108, 0x00, 0xFF, 100, 100}));
        EXPECT_EQ(rig.engine.state().InstructionIndex, 5);
        EXPECT_EQ(rig.host.completions.size(), 1u);
    }
}

TEST(ScriptEngine, OddFlashSizeSendsErasedHighByte) {
    EngineRig rig(3, 0);
    rig.buffer.Flash = {0x01, 0x02, 0x03};
    rig.start("setflashloop,s0d-flash,loop");
    EXPECT_EQ(rig.runToEnd(), (Bytes{100, 107, 0x0D, 108, 0x01, 0x02, 100, 100, 107, 0x0D, 108,
                                     0x03, 0xFF, 100, 100}));
}

TEST(ScriptEngine, ConfigurationAndEepromWrites) {
    EngineRig rig;
    rig.buffer.Config[2] = 0xA5;
    rig.buffer.Eeprom[0] = 0x5A;
    rig.start("s0f-config2l,seteepromloop,movlw-eeprom,loop");
    EXPECT_EQ(rig.port.written, (Bytes{107, 0x0F}));
    EXPECT_EQ(rig.host.statuses.back(), "CONF2L:");
    EXPECT_EQ(rig.reply(), (Bytes{108, 0xA5, 0xA5}));
    EXPECT_EQ(rig.engine.state().CurrentAddress, 0);
    EXPECT_EQ(rig.reply(), Bytes{100});
    EXPECT_EQ(rig.reply(), (Bytes{107, 0x00}));
    EXPECT_EQ(rig.host.statuses.back(), "E:1/16");
    EXPECT_EQ(rig.reply(), (Bytes{108, 0x5A, 0x0E}));
    EXPECT_EQ(rig.engine.state().CurrentAddress, 1);
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
    EXPECT_EQ(rig.engine.state().TempByte, 0xFD);
    EXPECT_EQ(rig.reply(), Bytes{103});
}

TEST(ScriptEngine, ReadsStoreTheDataByteWhereTheyStandAndAdvance) {
    EngineRig rig(8, 4);
    rig.start("setflashloop,flash=s09,loop,temp=s02,config7h=s09,seteepromloop,eeprom=s0a,loop");
    // Each data byte tells the instruction and the address it was read for.
    rig.runToEnd([](const ExecutionState& state) {
        return static_cast<std::uint8_t>(0x10 * state.InstructionIndex + state.CurrentAddress);
    });
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(rig.buffer.Flash[i], 0x20 + i);
    EXPECT_EQ(rig.engine.state().TempByte, 0x40);
    EXPECT_EQ(rig.buffer.Config[13], 0x50);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(rig.buffer.Eeprom[i], 0x70 + i);
    // One progress text per FLASH and EEPROM read, the configuration byte's text, and
    // none for the temporary register.
    ASSERT_EQ(rig.host.statuses.size(), 13u);
    EXPECT_EQ(rig.host.statuses[5], "F:6/8");
    EXPECT_EQ(rig.host.statuses[8], "CONF7H:");
    EXPECT_EQ(rig.host.statuses[9], "E:1/4");
}

TEST(ScriptEngine, ChecksPassOrReportTheFirstMismatch) {
    struct Row {
        const char* script;
        std::uint8_t good;       // what the chip reads where it matches
        std::int32_t badAddress; // where it reads `bad` instead; -1: nowhere
        std::uint8_t bad;
        std::string message;       // empty: every byte matches
        std::int32_t finalAddress; // CurrentAddress when the operation has ended
    };
    const Row rows[] = {
        {"setflashloop,temp=s09,checkblankflash,loop,end", 0xFF, -1, 0, "", 0},
        {"setflashloop,temp=s09,checkblankflash,loop,end", 0xFF, 0x12, 0x00,
         "Chip is not blank at address 000012h!\r\nThe value read from that address is 00h.", 0x12},
        {"seteepromloop,temp=s09,checkeeprom,loop,end", 0xFF, 3, 0x00,
         "Verify failed at address F00003h!\r\nThe value read from that address is 00h.\r\n"
         "The value expected is FFh.",
         3},
        {"temp=s09,checkblankconfig2h,end", 0x13, 0, 0x00,
         "Chip is not blank at address 300003h!\r\nThe value read from that address is 00h.", 0},
        {"temp=s09,checkblankconfig2h,end", 0x13, -1, 0, "", 0},
        {"temp=s09,checkconfig1l,end", 0x27, -1, 0, "", 0},
        {"setflashloop,temp=s09,checkflash,loop,end", 0xFF, 0x20, 0x5A,
         "Verify failed at address 000020h!\r\nThe value read from that address is 5Ah.\r\n"
         "The value expected is 12h.",
         0x20},
    };
    for (const Row& row : rows) {
        EngineRig rig;
        rig.buffer.Config[0] = 0x27;
        rig.buffer.Flash[0x20] = row.badAddress == 0x20 ? 0x12 : 0xFF;
        rig.start(row.script);
        const Bytes sent = rig.runToEnd([&row](const ExecutionState& state) {
            return state.CurrentAddress == row.badAddress ? row.bad : row.good;
        });
        EXPECT_EQ(rig.host.completions.size(), 1u) << row.script;
        EXPECT_EQ(rig.engine.state().CurrentAddress, row.finalAddress) << row.script;
        if (row.message.empty()) {
            EXPECT_TRUE(rig.host.messages.empty()) << row.script;
            EXPECT_FALSE(rig.engine.state().CheckFailed);
        } else {
            EXPECT_EQ(rig.host.messages, std::vector<std::string>{row.message}) << row.script;
            EXPECT_TRUE(rig.engine.state().CheckFailed);
            // The check's nop, then the script's last instruction, then the completion.
            EXPECT_EQ(tail(sent, 2), (Bytes{100, 103})) << row.script;
        }
    }
}

TEST(ScriptEngine, BytesWhileNoOperationRunsDoNothing) {
    EngineRig rig;
    EXPECT_TRUE(rig.reply().empty());
    rig.start("end");
    rig.reply();
    EXPECT_EQ(rig.host.completions.size(), 1u);
    EXPECT_TRUE(rig.reply().empty());
    EXPECT_EQ(rig.host.completions.size(), 1u);
}
