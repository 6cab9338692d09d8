// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/pinlevel/avr_rig.hpp"

#include "protocol/command_framer.hpp"

namespace tessaline::test {

namespace {

pinlevel::AvrUnit::Setup setupFor(const DeviceModel& record, const AvrRigOptions& options) {
    pinlevel::AvrUnit::Setup setup;
    setup.firmware = options.firmware;
    setup.model = sim::findChipModel(options.chip ? options.chip : record.model);
    setup.supplies.lowVoltage = options.lowVoltage;
    setup.supplies.mclrFromFiveVolts = options.lowVoltage;
    setup.supplies.vddMillivolts = options.vddMillivolts;
    return setup;
}

} // namespace

std::string firmwarePath(const std::string& name) {
    return std::string(TESSALINE_FIRMWARE_DIR) + "/" + name + ".elf";
}

AvrRig::AvrRig(const DeviceModel& record, const AvrRigOptions& options)
    : unit(setupFor(record, options)), port(unit), control(buffer, model, probe, host) {
    ApplySelectedModel(record, model);
    ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    probe.onWrite = [this](std::uint8_t byte) { stream.push_back({false, byte, 0}); };
    host.onWait = [this](int ms) {
        stream.push_back({true, 0, ms});
        port.waitMilliseconds(ms);
    };
    port.setReceiveHandler([this] { control.MSComm1_OnComm(); });
}

bool AvrRig::run(OperationKind kind) {
    host.ends.clear();
    control.StartOperation(kind, true);
    for (int turn = 0; turn < 10 && control.running(); ++turn) {
        port.deliver();
        if (control.running())
            control.replyTimedOut();
    }
    return !control.running() && host.ends.size() == 1 &&
           (host.ends[0].outcome == Outcome::Done || host.ends[0].outcome == Outcome::CheckFailed);
}

std::vector<std::string> AvrRig::finish(bool allowPowered) {
    unit.finish(allowPowered);
    return unit.violations();
}

std::vector<PacketBytes> packetize(const std::vector<StreamItem>& stream, std::size_t maxBytes) {
    std::vector<PacketBytes> payloads(1);
    CommandFramer framer(CommandSet::Packet, 0);
    PacketBytes command;
    bool codePending = false;
    // A command, with the 4-bit code before it if one waits, goes into the payload it
    // fits in whole. A full payload ends after its last WAIT where it has one, as the
    // program's packets end where a script's pass ends: a write the chip times is never
    // cut from its wait.
    std::size_t afterWait = 0;
    const auto add = [&](const PacketBytes& bytes, bool wait) {
        if (payloads.back().size() + bytes.size() > maxBytes) {
            PacketBytes rest;
            if (afterWait > 0) {
                rest.assign(payloads.back().begin() + static_cast<std::ptrdiff_t>(afterWait),
                            payloads.back().end());
                payloads.back().resize(afterWait);
            }
            payloads.push_back(rest);
            afterWait = 0;
        }
        payloads.back().insert(payloads.back().end(), bytes.begin(), bytes.end());
        if (wait)
            afterWait = payloads.back().size();
    };
    PacketBytes held;
    for (const StreamItem& item : stream) {
        if (item.wait) {
            held.insert(held.end(), {kOpWait, static_cast<std::uint8_t>(item.ms & 0xFF),
                                     static_cast<std::uint8_t>(item.ms >> 8)});
            if (!codePending) {
                add(held, true);
                held.clear();
            }
            continue;
        }
        command.push_back(item.byte);
        if (framer.take(item.byte, 0) != CommandFramer::kComplete)
            continue;
        held.insert(held.end(), command.begin(), command.end());
        codePending = framer.command() == kCmdCommandCode;
        command.clear();
        if (!codePending) {
            add(held, false);
            held.clear();
        }
    }
    if (!held.empty())
        add(held, false);
    return payloads;
}

FastDriver::FastDriver(pinlevel::AvrUnit& unit) : m_unit(unit) {
    m_unit.onByte = [this](std::uint8_t byte) {
        if (m_plainDue > 0) {
            m_plain.push_back(byte);
            --m_plainDue;
            if (m_plainDue == 0)
                m_unit.pause();
            return;
        }
        m_received.push_back(byte);
        const ReplyReceiver::Event event = m_replies.take(byte);
        switch (event) {
        case ReplyReceiver::kData:
            m_data.push_back(m_replies.data());
            break;
        case ReplyReceiver::kComplete:
        case ReplyReceiver::kBad:
            m_rejected = m_rejected || event != ReplyReceiver::kComplete ||
                         (m_replies.status() & kStatusRejected) != 0;
            if (++m_completed == m_pauseAt)
                m_unit.pause();
            break;
        case ReplyReceiver::kNothing:
            break;
        }
    };
}

bool FastDriver::enter(std::uint8_t rate) {
    m_plainDue = 2;
    m_unit.send(kCmdEnterFast);
    m_unit.send(rate);
    m_unit.runUntil(m_unit.cycle() + 100 * pinlevel::AvrUnit::kCyclesPerMs);
    const bool answered = m_plainDue == 0;
    m_plainDue = 0;
    waitMilliseconds(20);
    m_seq = 0;
    // Ten bits a byte at the rate asked for, within 1 %.
    const double bits = static_cast<double>(m_unit.byteCycles()) * fastRateBaud(rate) / 16e6;
    return answered && bits > 9.9 && bits < 10.1;
}

// Runs until that many more replies came, or the budget is spent; with none asked for,
// the whole budget.
void FastDriver::await(int replies, int budgetMs) {
    const int target = m_completed + replies;
    m_pauseAt = replies > 0 ? target : -1;
    const std::uint64_t limit =
        m_unit.cycle() + static_cast<std::uint64_t>(budgetMs) * pinlevel::AvrUnit::kCyclesPerMs;
    while ((replies == 0 || m_completed < target) && m_unit.cycle() < limit &&
           m_unit.runUntil(limit)) {
    }
    m_pauseAt = -1;
}

bool FastDriver::send(const std::vector<PacketBytes>& payloads, int window) {
    std::size_t next = 0;
    int unanswered = 0;
    while (next < payloads.size() || unanswered > 0) {
        while (next < payloads.size() && unanswered < window) {
            for (const std::uint8_t byte : fastPacket(m_seq, payloads[next]))
                m_unit.send(byte);
            m_seq = nextPacketSeq(m_seq);
            ++next;
            ++unanswered;
        }
        const int before = m_completed;
        await(1, 3000);
        if (m_completed == before || m_rejected)
            return false;
        unanswered -= m_completed - before;
    }
    return true;
}

void FastDriver::write(const PacketBytes& bytes, int replies, int budgetMs) {
    for (const std::uint8_t byte : bytes)
        m_unit.send(byte);
    await(replies, budgetMs);
}

void FastDriver::waitMilliseconds(int milliseconds) {
    m_unit.runUntil(m_unit.cycle() +
                    static_cast<std::uint64_t>(milliseconds) * pinlevel::AvrUnit::kCyclesPerMs);
}

std::vector<std::uint8_t> FastDriver::plain(const PacketBytes& bytes, int replies, int budgetMs) {
    m_plain.clear();
    m_plainDue = replies;
    for (const std::uint8_t byte : bytes)
        m_unit.send(byte);
    const std::uint64_t limit =
        m_unit.cycle() + static_cast<std::uint64_t>(budgetMs) * pinlevel::AvrUnit::kCyclesPerMs;
    while (m_plainDue > 0 && m_unit.cycle() < limit && m_unit.runUntil(limit)) {
    }
    m_plainDue = 0;
    return m_plain;
}

} // namespace tessaline::test
