#include "engine/byte_trace.hpp"
#include "engine/script_engine.hpp"

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
