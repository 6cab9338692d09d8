// SPDX-License-Identifier: GPL-3.0-or-later
// Fast mode's packets as the program builds and checks them: where they are cut, and
// which replies count.
#include "engine/batch_link.hpp"
#include "tests/support/fake_byte_port.hpp"
#include "tests/support/fast_packets.hpp"

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

PacketBytes reply(std::uint8_t seq, const PacketBytes& data, std::uint8_t status = 0) {
    PacketBytes bytes{kReplyStart, seq, static_cast<std::uint8_t>(data.size()), 0};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(status);
    const std::uint16_t crc = crc16(bytes.data() + 1, static_cast<std::uint16_t>(bytes.size() - 1));
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

} // namespace

// A packet never ends between a 4-bit code and its operand, never holds more than
// kMaxPacketPayload bytes, and goes out in one write with its header and CRC.
TEST(BatchLink, PacketsEndAtWholeFramesWithinTheirSize) {
    FakeBytePort port;
    BatchLink batch(port);
    batch.start();
    const std::uint8_t code[] = {kCmdCommandCode, 0x0D};
    const std::uint8_t word[] = {kCmdDataWord, 0x34, 0x12};
    for (int i = 0; i < 300; ++i) {
        batch.add(code, sizeof code);
        batch.add(word, sizeof word);
    }
    batch.cut();
    std::vector<PacketBytes> payloads;
    while (batch.hasReady()) {
        port.written.clear();
        const BatchLink::Packet& packet = batch.sendReady();
        EXPECT_LE(packet.payload.size(), kMaxPacketPayload);
        EXPECT_EQ(packet.payload.size() % 5, 0U) << "a code parted from its operand";
        EXPECT_EQ(port.written, fastPacket(packet.seq, packet.payload));
        payloads.push_back(packet.payload);
        batch.answered();
    }
    EXPECT_EQ(payloads.size(), 3U);
}

// Only the reply due counts: its seq, one data byte per read, its CRC. Anything else is
// bad, and none of its data reach the engine.
TEST(BatchLink, OnlyTheReplyDueWithItsDataAndCrcCounts) {
    const std::uint8_t read[] = {kCmdReadByte};
    struct Row {
        const char* what;
        PacketBytes bytes;
        bool good;
    };
    PacketBytes badCrc = reply(0, {0x11, 0x22});
    badCrc[5] ^= 0x01;
    PacketBytes stray = reply(0, {0x11, 0x22});
    stray.insert(stray.begin(), 0x00);
    const Row rows[] = {
        {"the reply due", reply(0, {0x11, 0x22}), true},
        {"another seq", reply(1, {0x11, 0x22}), false},
        {"a data byte short", reply(0, {0x11}), false},
        {"a data byte more", reply(0, {0x11, 0x22, 0x33}), false},
        {"a data byte flipped", badCrc, false},
        {"a stray byte first", stray, false},
    };
    for (const Row& row : rows) {
        FakeBytePort port;
        BatchLink batch(port);
        batch.start();
        batch.add(read, 1);
        batch.add(read, 1);
        batch.cut();
        batch.sendReady();
        BatchLink::Reply last = BatchLink::Reply::Partial;
        bool bad = false;
        for (const std::uint8_t byte : row.bytes) {
            last = batch.take(byte);
            bad = bad || last == BatchLink::Reply::Bad;
            if (bad)
                break;
        }
        EXPECT_EQ(!bad && last == BatchLink::Reply::Complete, row.good) << row.what;
        if (row.good) {
            EXPECT_EQ(batch.replyData(), (std::vector<std::uint8_t>{0x11, 0x22})) << row.what;
        }
    }
}
