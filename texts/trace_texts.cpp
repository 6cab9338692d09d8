// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/trace_texts.hpp"

#include "buffer/hex_text.hpp"
#include "protocol/fast_mode.hpp"
#include "protocol/unit_protocol.hpp"
#include "texts/operation_texts.hpp"

#include <cstdio>
#include <ostream>

namespace tessaline {

namespace {

std::string commandName(std::uint8_t command) {
    switch (command) {
    case kCmdNop:
        return "nop";
    case kCmdBeginVddFirst:
        return "begin, VDD before VPP";
    case kCmdBeginVppFirst:
        return "begin, VPP before VDD";
    case kCmdEnd:
        return "end";
    case kCmdCommandCode:
        return "command code";
    case kCmdDataWord:
        return "data word";
    case kCmdStartProg:
        return "start programming";
    case kCmdReadByte:
        return "read byte";
    case kCmdProgTime:
        return "programming time";
    case kCmdUnitReport:
        return "unit report";
    case kCmdCalibrate:
        return "calibrate";
    case kCmdEnterFast:
        return "enter fast mode";
    default:
        return "not a command";
    }
}

std::string sentText(const TracedByte& byte) {
    if (byte.position == 0)
        return commandName(byte.value);
    switch (byte.command) {
    case kCmdCommandCode:
        return "  code " + Hex2(byte.value) + "h";
    case kCmdDataWord:
    case kCmdCalibrate:
        return byte.position == 1 ? "  low byte" : "  high byte";
    case kCmdProgTime:
        return "  " + std::to_string(byte.value) + " ms";
    case kCmdEnterFast:
        return "  rate " + std::to_string(byte.value);
    default:
        return "  argument " + std::to_string(byte.position);
    }
}

// A reply's non-zero value: the unit's status bits, which the program acts on only for a
// reference unit.
std::string statusText(std::uint8_t value) {
    struct Bit {
        std::uint8_t mask;
        const char* meaning;
    };
    static constexpr Bit kBits[] = {
        {kStatusRefused, "a command refused"},        {kStatusReceiveError, "bytes dropped"},
        {kStatusVppOutOfRange, "VPP out of range"},   {kStatusVddOutOfRange, "VDD out of range"},
        {kStatusJumpersDisagree, "jumpers disagree"}, {kStatusSelfPowered, "self-powered target"},
        {kStatusNoVppFirst, "no VPP before VDD"},
    };
    std::string text;
    std::uint8_t rest = value;
    for (const Bit& bit : kBits) {
        if ((value & bit.mask) == 0)
            continue;
        text += (text.empty() ? "" : ", ") + std::string(bit.meaning);
        rest = static_cast<std::uint8_t>(rest & ~bit.mask);
    }
    if (rest != 0)
        text += (text.empty() ? "bits " : ", bits ") + Hex2(rest) + "h";
    return text;
}

std::string receivedText(const TracedByte& byte) {
    if (byte.command == 0)
        return "stray byte, no command sent yet";
    const int replies = unitReplyCount(byte.command);
    if (byte.position >= replies)
        return "stray byte after " + commandName(byte.command);
    if (byte.command == kCmdReadByte && byte.position == 0)
        return "data byte of read byte";
    if (byte.command == kCmdEnterFast)
        return byte.position == 0 ? "fast mode's version" : "fast mode's rates";
    if (byte.command == kCmdUnitReport && byte.position < kReportStatus) {
        static constexpr const char* kFields[] = {
            "firmware version", "calibration, low byte", "calibration, high byte", "VPP, low byte",
            "VPP, high byte",   "VDD, low byte",         "VDD, high byte",         "jumpers"};
        return std::string("report: ") + kFields[byte.position];
    }
    std::string text = "reply to " + commandName(byte.command);
    if (byte.value != 0)
        text += ", status: " + statusText(byte.value);
    return text;
}

} // namespace

std::string traceLine(const TracedByte& byte, std::chrono::steady_clock::time_point origin) {
    const double seconds = std::chrono::duration<double>(byte.time - origin).count();
    const bool sent = byte.direction == TracedByte::Direction::Sent;
    std::string text = sent ? sentText(byte) : receivedText(byte);
    if (!byte.word.empty() && (!sent || byte.position == 0)) {
        text.resize(std::max<std::size_t>(text.size() + 2, 32), ' ');
        text += byte.word;
    }
    char head[32];
    std::snprintf(head, sizeof head, "%11.6f  %s %s  ", seconds, sent ? "->" : "<-",
                  Hex2(byte.value).c_str());
    return head + text;
}

std::string tracePacketLine(const TracedPacket& packet,
                            std::chrono::steady_clock::time_point origin) {
    const double seconds = std::chrono::duration<double>(packet.time - origin).count();
    char head[24];
    std::snprintf(head, sizeof head, "%11.6f  ", seconds);
    const std::string seq = Hex2(packet.seq);
    std::string text;
    switch (packet.kind) {
    case TracedPacket::Kind::Mode:
        text = "== " + linkModeText(packet.baud);
        break;
    case TracedPacket::Kind::Packet:
        text = "=> packet " + seq + "  " + std::to_string(packet.bytes) + " bytes, " +
               std::to_string(packet.commands) + " commands, " + std::to_string(packet.count) +
               " reads";
        break;
    case TracedPacket::Kind::Reply:
        text = "<= reply " + seq + "  " + std::to_string(packet.count) + " data bytes, status " +
               Hex2(packet.status) + "h";
        if ((packet.status & kStatusRejected) != 0)
            text += ": packet rejected, nothing of it ran";
        else if (packet.status != 0)
            text += ": " + statusText(packet.status);
        break;
    case TracedPacket::Kind::BadReply:
        text = "<= no good reply: lost, garbled or not the one due";
        break;
    case TracedPacket::Kind::Abort:
        text = "=> ABORT";
        break;
    }
    if (!packet.word.empty()) {
        text.resize(std::max<std::size_t>(text.size() + 2, 48), ' ');
        text += packet.word;
    }
    return head + text;
}

TraceWriter::TraceWriter(std::ostream& out) : m_out(out) {}

void TraceWriter::traceByte(const TracedByte& byte) {
    if (!m_origin)
        m_origin = byte.time;
    m_out << traceLine(byte, *m_origin) << '\n';
}

void TraceWriter::tracePacket(const TracedPacket& packet) {
    if (!m_origin)
        m_origin = packet.time;
    m_out << tracePacketLine(packet, *m_origin) << '\n';
}

} // namespace tessaline
