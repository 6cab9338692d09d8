// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/trace_texts.hpp"

#include "engine/script_engine.hpp"
#include "protocol/unit_protocol.hpp"

#include "tests/support/fake_byte_port.hpp"
#include "tests/support/fake_hosts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

struct RecordingTrace : ByteTrace {
    std::vector<TracedByte> bytes;
    void traceByte(const TracedByte& byte) override { bytes.push_back(byte); }
};

} // namespace

TEST(ByteTrace, EveryByteBothWaysWithItsCommandAndWord) {
    SelectedModelValues model;
    model.FlashSize = 2;
    model.VoltageSequence = 1;
    ProgramBuffer buffer;
    ResetBuffer(buffer, 2, 0, model.ConfigErased);
    FakeBytePort port;
    RecordingEngineHost host;
    ScriptEngine engine(buffer, model, port, host);
    RecordingTrace trace;
    engine.setTrace(&trace);
    engine.receiveByte(0x55); // before any command
    engine.start(OperationKind::Read, decodeScript("begin,flash=s09,end"));
    for (std::uint8_t reply : {0x00, 0x00, 0x3C, 0x00, 0x00, 0x00})
        engine.receiveByte(reply);

    const auto origin = trace.bytes.front().time;
    std::vector<std::string> lines;
    for (const TracedByte& byte : trace.bytes) {
        const std::string line = traceLine(byte, origin);
        lines.push_back(line.substr(13)); // without the time
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "<- 55  stray byte, no command sent yet",
                         "-> 65  begin, VDD before VPP           begin",
                         "<- 00  reply to begin, VDD before VPP  begin",
                         "-> 6B  command code                    flash=s09",
                         "-> 09    code 09h",
                         "<- 00  reply to command code           flash=s09",
                         "-> 6E  read byte                       flash=s09",
                         "<- 3C  data byte of read byte          flash=s09",
                         "<- 00  reply to read byte              flash=s09",
                         "-> 67  end                             end",
                         "<- 00  reply to end                    end",
                         "<- 00  stray byte after end            end",
                     }));
    EXPECT_EQ(buffer.Flash[0], 0x3C);
    EXPECT_EQ(traceLine(trace.bytes[0], origin).substr(0, 11), "   0.000000");
}

// A reply's value is the unit's status: 00h all well, otherwise its bits named. Data and
// stray bytes carry no status.
TEST(ByteTrace, ANonZeroReplyShowsItsStatusMeaning) {
    struct Row {
        std::uint8_t command;
        int position;
        std::uint8_t value;
        const char* text;
    };
    const Row rows[] = {
        {kCmdNop, 0, 0x00, "<- 00  reply to nop"},
        {kCmdCommandCode, 0, 0x01, "<- 01  reply to command code, status: a command refused"},
        {kCmdReadByte, 1, 0x0E,
         "<- 0E  reply to read byte, status: bytes dropped, VPP out of range, VDD out of range"},
        {kCmdEnd, 0, 0xF2,
         "<- F2  reply to end, status: bytes dropped, jumpers disagree, self-powered target, no "
         "VPP before VDD, bits 80h"},
        {kCmdUnitReport, 0, 0x02, "<- 02  report: firmware version"},
        {kCmdUnitReport, kReportStatus, 0x01,
         "<- 01  reply to unit report, status: a command refused"},
        {kCmdReadByte, 0, 0x01, "<- 01  data byte of read byte"},
        {kCmdEnd, 1, 0x01, "<- 01  stray byte after end"},
    };
    for (const Row& row : rows) {
        TracedByte byte;
        byte.direction = TracedByte::Direction::Received;
        byte.command = row.command;
        byte.position = row.position;
        byte.value = row.value;
        EXPECT_EQ(traceLine(byte, byte.time).substr(13), row.text);
    }
}

// Fast mode's lines: the mode, each packet and reply as a whole, a reply that is no good,
// ABORT.
TEST(ByteTrace, FastModesPacketsAndRepliesHaveALineEach) {
    struct Row {
        TracedPacket::Kind kind;
        std::int32_t baud;
        std::uint8_t status;
        const char* text;
    };
    const Row rows[] = {
        {TracedPacket::Kind::Mode, 1000000, 0, "== Fast mode, 1000000 baud"},
        {TracedPacket::Kind::Mode, 0, 0, "== Standard mode"},
        {TracedPacket::Kind::Packet, 0, 0, "=> packet 2A  500 bytes, 140 commands, 32 reads"},
        {TracedPacket::Kind::Reply, 0, 0, "<= reply 2A  32 data bytes, status 00h"},
        {TracedPacket::Kind::Reply, 0, 0x01,
         "<= reply 2A  32 data bytes, status 01h: a command refused"},
        {TracedPacket::Kind::Reply, 0, 0x80,
         "<= reply 2A  32 data bytes, status 80h: packet rejected, nothing of it ran"},
        {TracedPacket::Kind::BadReply, 0, 0, "<= no good reply: lost, garbled or not the one due"},
        {TracedPacket::Kind::Abort, 0, 0, "=> ABORT"},
    };
    for (const Row& row : rows) {
        TracedPacket packet;
        packet.kind = row.kind;
        packet.baud = row.baud;
        packet.seq = 0x2A;
        packet.bytes = 500;
        packet.commands = 140;
        packet.count = 32;
        packet.status = row.status;
        EXPECT_EQ(tracePacketLine(packet, packet.time), std::string("   0.000000  ") + row.text);
    }
}
