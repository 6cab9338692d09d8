// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Fast mode's packets as a test builds them, and the replies it reads back.

#include "protocol/fast_mode.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::test {

using PacketBytes = std::vector<std::uint8_t>;

inline PacketBytes fastPacket(std::uint8_t seq, const PacketBytes& payload) {
    PacketBytes bytes{kPacketStart, seq, static_cast<std::uint8_t>(payload.size() & 0xFF),
                      static_cast<std::uint8_t>(payload.size() >> 8)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    const std::uint16_t crc = crc16(bytes.data() + 1, static_cast<std::uint16_t>(bytes.size() - 1));
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

inline PacketBytes abortPacket() {
    return fastPacket(kAbortSeq, {});
}

// The replies in what a unit sent, as "seq:data bytes/status" in hexadecimal, one per
// reply, e.g. "03:41 42/00"; a byte outside a good reply as "?".
inline std::string fastReplies(const PacketBytes& bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    const auto hex = [](std::uint8_t byte) {
        return std::string{kDigits[byte >> 4], kDigits[byte & 0xF]};
    };
    std::string text;
    std::string data;
    ReplyReceiver receiver;
    for (const std::uint8_t byte : bytes) {
        switch (receiver.take(byte)) {
        case ReplyReceiver::kNothing:
            break;
        case ReplyReceiver::kData:
            data += (data.empty() ? "" : " ") + hex(receiver.data());
            break;
        case ReplyReceiver::kComplete:
            text += (text.empty() ? "" : ",") + hex(receiver.seq()) + ":" + data + "/" +
                    hex(receiver.status());
            data.clear();
            break;
        case ReplyReceiver::kBad:
            text += "?";
            data.clear();
            break;
        }
    }
    return text;
}

} // namespace tessaline::test
