// SPDX-License-Identifier: GPL-3.0-or-later
// Fast mode's packets and replies: the CRC, and what the unit's receiver and the program's
// receiver make of good, damaged, cut and stray bytes.
#include "protocol/fast_mode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tessaline;

namespace {

std::vector<std::uint8_t> framed(std::uint8_t start, std::vector<std::uint8_t> body) {
    const std::uint16_t crc = crc16(body.data(), static_cast<std::uint16_t>(body.size()));
    body.insert(body.begin(), start);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

std::vector<std::uint8_t> packet(std::uint8_t seq, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> body{seq, static_cast<std::uint8_t>(payload.size() & 0xFF),
                                   static_cast<std::uint8_t>(payload.size() >> 8)};
    body.insert(body.end(), payload.begin(), payload.end());
    return framed(kPacketStart, body);
}

// What the receiver made of each byte: '.' nothing yet, 'P' a packet, 'A' an abort, 'x' bad.
std::string receive(PacketReceiver& receiver, const std::vector<std::uint8_t>& bytes,
                    std::uint32_t msPerByte = 0) {
    std::string seen;
    std::uint32_t now = 0;
    for (const std::uint8_t byte : bytes) {
        const PacketReceiver::Event event = receiver.take(byte, now += msPerByte);
        seen += event == PacketReceiver::kPacket  ? 'P'
                : event == PacketReceiver::kAbort ? 'A'
                : event == PacketReceiver::kBad   ? 'x'
                                                  : '.';
    }
    return seen;
}

} // namespace

TEST(FastMode, CrcIsCcittFalse) {
    const std::string check = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const std::uint8_t*>(check.data()), 9), 0x29B1);
}

TEST(FastMode, TheUnitTakesWholePacketsOnlyAndAbortAtAnyTime) {
    struct Row {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::uint32_t msPerByte;
        std::string seen;
    };
    std::vector<std::uint8_t> damaged = packet(3, {100, 101});
    damaged[5] ^= 0x01;
    std::vector<std::uint8_t> strayThenPacket{0x00, 0x65};
    const std::vector<std::uint8_t> ping = packet(0, {});
    strayThenPacket.insert(strayThenPacket.end(), ping.begin(), ping.end());
    const Row rows[] = {
        {"a packet", packet(7, {107, 0, 108, 0x12, 0x0E}), 0, "..........P"},
        {"an empty packet", packet(0, {}), 0, ".....P"},
        {"the abort", packet(kAbortSeq, {}), 0, ".....A"},
        {"an abort with a payload is none", packet(kAbortSeq, {100}), 0, "...x..."},
        {"a damaged byte", damaged, 0, ".......x"},
        {"stray bytes before a packet", strayThenPacket, 0, ".......P"},
        {"a gap inside a packet", packet(1, {100}), kPacketByteGapMs + 1, ".x....."},
        {"a payload longer than the buffer", packet(2, std::vector<std::uint8_t>(17, 100)), 0,
         "...x" + std::string(19, '.')},
    };
    for (const Row& row : rows) {
        std::uint8_t buffer[16];
        PacketReceiver receiver;
        receiver.setBuffer(buffer, sizeof buffer);
        EXPECT_EQ(receive(receiver, row.bytes, row.msPerByte), row.seen) << row.what;
    }
}

TEST(FastMode, ThePacketsPayloadLandsInTheBuffer) {
    std::uint8_t buffer[8] = {};
    PacketReceiver receiver;
    receiver.setBuffer(buffer, sizeof buffer);
    ASSERT_EQ(receive(receiver, packet(9, {110, 111, 5})).back(), 'P');
    EXPECT_EQ(receiver.seq(), 9);
    EXPECT_EQ(receiver.length(), 3);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 3),
              (std::vector<std::uint8_t>{110, 111, 5}));
    EXPECT_EQ(nextPacketSeq(0xFE), 0) << "FFh is the abort's";
}

// The unit's fast path takes a payload's bytes in batches that end anywhere, and decides
// as byte by byte would: a good packet, or a bad CRC for a byte flipped inside a batch.
TEST(FastMode, APayloadTakenInBatchesIsTakenAsByteByByte) {
    for (const bool flip : {false, true}) {
        std::vector<std::uint8_t> bytes = packet(4, {107, 0, 108, 0x12, 0x0E, 110, 100});
        if (flip)
            bytes[7] ^= 0x10;
        std::uint8_t buffer[16] = {};
        PacketReceiver receiver;
        receiver.setBuffer(buffer, sizeof buffer);
        std::size_t at = 0;
        std::size_t batchEnd = 0;
        auto source = [&](std::uint8_t& byte) {
            if (at == batchEnd)
                return false;
            byte = bytes[at++];
            return true;
        };
        PacketReceiver::Event event = PacketReceiver::kNothing;
        while (at < bytes.size()) {
            batchEnd = std::min(bytes.size(), at + 3);
            receiver.takePayload(source);
            if (at < batchEnd)
                event = receiver.take(bytes[at++]);
        }
        EXPECT_EQ(event, flip ? PacketReceiver::kBad : PacketReceiver::kPacket);
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 7),
                  std::vector<std::uint8_t>(bytes.begin() + 4, bytes.begin() + 11));
    }
}

TEST(FastMode, TheProgramReadsRepliesDataByDataAndChecksThem) {
    const std::vector<std::uint8_t> reply = framed(kReplyStart, {4, 2, 0, 0xAB, 0xCD, 0x00});
    ReplyReceiver receiver;
    std::vector<std::uint8_t> data;
    ReplyReceiver::Event last = ReplyReceiver::kNothing;
    for (const std::uint8_t byte : reply) {
        last = receiver.take(byte);
        if (last == ReplyReceiver::kData)
            data.push_back(receiver.data());
    }
    EXPECT_EQ(last, ReplyReceiver::kComplete);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0xAB, 0xCD}));
    EXPECT_EQ(receiver.seq(), 4);
    EXPECT_EQ(receiver.status(), 0);

    std::vector<std::uint8_t> damaged = reply;
    damaged[4] ^= 0x40;
    for (const std::uint8_t byte : damaged)
        last = receiver.take(byte);
    EXPECT_EQ(last, ReplyReceiver::kBad);
    EXPECT_EQ(receiver.take(0x00), ReplyReceiver::kBad) << "no reply starts with 00h";
}
