// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/programmer_unit.hpp"

#include "protocol/unit_protocol.hpp"

#include <iterator>

namespace tessaline::sim {

namespace {

// The reply byte's value: 00h, all is well (the simulated unit sets no status bit).
constexpr std::uint8_t kAcknowledge = 0x00;

constexpr std::uint8_t kStrayByte = 0xA5;

} // namespace

ProgrammerUnit::ProgrammerUnit(Pic18Chip& chip, SimClock& clock) : m_chip(chip), m_clock(clock) {}

void ProgrammerUnit::programEnded(bool poweredAllowed) {
    if (m_chip.powered() && !poweredAllowed)
        violation("left powered: voltages still applied when the program ended");
}

std::vector<std::string> ProgrammerUnit::allViolations() const {
    std::vector<std::string> all = m_violations;
    for (const std::string& text : m_chip.violations())
        all.push_back("chip: " + text);
    return all;
}

std::vector<std::uint8_t> ProgrammerUnit::receive(std::uint8_t byte) {
    m_lastByte = byte;
    m_otherRate = false;
    if (muteAfter >= 0 && m_commands >= muteAfter)
        return {};
    if (m_reference)
        return receiveAsReference(byte);
    // The unit's millisecond count, as its firmware keeps one: a command whose argument
    // bytes stopped coming (its sender died) is dropped by the framer, so that the next
    // program's first command is read as a command.
    const auto nowMs = static_cast<std::uint32_t>(m_clock.nowMicros() / 1000);
    switch (m_framer.take(byte, nowMs)) {
    case CommandFramer::kNotACommand:
        violation("byte " + std::to_string(byte) + " is not a command of the unit");
        return {};
    case CommandFramer::kMoreToCome:
        return {};
    case CommandFramer::kComplete:
        break;
    }
    std::vector<std::uint8_t> reply = execute();
    ++m_commands;
    if (m_commands == strayAfter)
        reply.push_back(kStrayByte);
    return reply;
}

std::vector<std::uint8_t> ProgrammerUnit::execute() {
    const std::uint8_t command = m_framer.command();
    if (emptySocket) {
        if (command == kCmdProgTime)
            m_progTimeMs = m_framer.argument(0);
        return command == kCmdReadByte ? std::vector<std::uint8_t>{0x00, kAcknowledge}
                                       : std::vector<std::uint8_t>{kAcknowledge};
    }
    switch (command) {
    case kCmdNop:
        break;
    case kCmdBeginVddFirst:
    case kCmdBeginVppFirst:
        m_chip.powerUp(command == kCmdBeginVddFirst);
        break;
    case kCmdEnd:
        // MCLR low resets the chip's programming logic: a command code that waits for its
        // operand is dropped, and only what its 4 clocks started can be cut.
        if (m_commandCode >= 0)
            m_chip.commandCut(m_commandCode);
        m_commandCode = -1;
        m_chip.powerDown();
        break;
    case kCmdCommandCode: {
        const std::uint8_t code = m_framer.argument(0);
        if (code > 0x0F)
            violation("command code " + std::to_string(code) + " has more than 4 bits");
        if (m_commandCode >= 0)
            violation("command code " + std::to_string(code) + " sent while code " +
                      std::to_string(m_commandCode) + " still waited for its operand");
        m_commandCode = code & 0x0F;
        break;
    }
    case kCmdDataWord:
        if (m_commandCode < 0) {
            violation("operand sent without a command code before it");
            break;
        }
        m_chip.transfer(m_commandCode, m_framer.operand());
        m_commandCode = -1;
        break;
    case kCmdStartProg: {
        if (m_commandCode >= 0)
            violation("programming pulse sent while command code " + std::to_string(m_commandCode) +
                      " waited for its operand");
        m_commandCode = -1;
        // The NOP's fourth clock is held high for the programming time.
        const std::int64_t micros = static_cast<std::int64_t>(m_progTimeMs) * 1000;
        m_clock.sleepMicros(micros);
        m_chip.programmingPulse(micros);
        break;
    }
    case kCmdReadByte: {
        if (m_commandCode < 0) {
            violation("read sent without a command code before it");
            return {0x00, kAcknowledge};
        }
        const std::uint8_t data = m_chip.readTransfer(m_commandCode);
        m_commandCode = -1;
        return {data, kAcknowledge};
    }
    case kCmdProgTime:
        if (m_framer.argument(0) == 0)
            violation("programming time of 0 ms");
        m_progTimeMs = m_framer.argument(0);
        break;
    default:
        break;
    }
    return {kAcknowledge};
}

void ProgrammerUnit::makeReference(const UnitSupplies& supplies) {
    m_reference = true;
    m_supplies = supplies;
}

std::uint32_t ProgrammerUnit::nowMs() const {
    return static_cast<std::uint32_t>(m_clock.nowMicros() / 1000);
}

std::int32_t ProgrammerUnit::baud() const {
    return static_cast<std::int32_t>(
        fastRateBaud(m_fast ? m_rate : static_cast<std::uint8_t>(kRate56000)));
}

std::vector<std::uint8_t> ProgrammerUnit::receiveGarbled() {
    if (muteAfter >= 0 && m_commands >= muteAfter)
        return {};
    // One report for each run of such bytes; what the unit then does is the program's
    // doing, not blamed again.
    if (!m_otherRate)
        violation("a byte came at another rate than the unit's " + std::to_string(baud()) +
                  " baud");
    m_otherRate = true;
    if (!m_reference)
        return {};
    m_lineFault = true;
    return receiveAsReference(-1);
}

// The unit's millisecond count follows the simulation's clock. A refusal the program
// caused is its violation; what follows a byte lost or garbled on purpose is not. A byte
// is garbled (-1) on purpose or when it came at another rate.
std::vector<std::uint8_t> ProgrammerUnit::receiveAsReference(int byte) {
    const std::uint32_t now = nowMs();
    ++m_bytes;
    if (m_bytes == dropByte || m_bytes == garbleByte) {
        m_lineFault = true;
        if (m_bytes == dropByte)
            return {};
        byte = -1;
    }
    if (m_fast)
        return receiveFast(byte, now);
    if (m_resync.drop(now))
        return {};
    if (byte < 0) {
        m_logic.receiveError(now);
        return {};
    }
    m_logic.setLowVoltage(m_supplies.lowVoltage);
    const bool wasSilent = m_logic.silent();
    unit::Step step;
    if (!m_logic.receive(static_cast<std::uint8_t>(byte), now, step)) {
        if (!wasSilent && m_logic.silent() && !m_lineFault)
            violation("the reference unit refused at byte " + std::to_string(byte) +
                      " and falls silent until 103");
        return {};
    }
    std::vector<std::uint8_t> reply = run(step);
    if (!reply.empty() && ++m_commands == strayAfter)
        reply.push_back(kStrayByte);
    return reply;
}

std::vector<std::uint8_t> ProgrammerUnit::tick() {
    if (!m_reference || (muteAfter >= 0 && m_commands >= muteAfter))
        return {};
    const std::uint32_t now = nowMs();
    if (!m_fast) {
        m_logic.tick(now);
        return {};
    }
    m_input.expire(now);
    return serveFast(now);
}

std::vector<std::uint8_t> ProgrammerUnit::receiveFast(int byte, std::uint32_t nowMs) {
    if (byte < 0)
        m_input.lineError(true, nowMs);
    else
        m_input.take(static_cast<std::uint8_t>(byte), nowMs);
    return serveFast(nowMs);
}

// The packets run as they come, each answered in its turn; then what ends them.
std::vector<std::uint8_t> ProgrammerUnit::serveFast(std::uint32_t nowMs) {
    std::vector<std::uint8_t> out;
    while (m_fast && !(muteAfter >= 0 && m_commands >= muteAfter)) {
        const std::uint8_t slot = m_input.nextPacket();
        std::uint8_t seq = 0;
        if (slot != unit::PacketInput::kNone) {
            runPacket(slot, out);
        } else if (m_input.rejectionDue(seq)) {
            auto sink = [&out](std::uint8_t byte) { out.push_back(byte); };
            unit::ReplyWriter<decltype(sink)> reply(sink);
            reply.begin(seq, 0);
            reply.end(kStatusRejected);
            if (!m_lineFault)
                violation("the reference unit rejected packet " + std::to_string(seq));
        } else if (m_input.abortDue()) {
            powerDownFast();
            auto sink = [&out](std::uint8_t byte) { out.push_back(byte); };
            unit::ReplyWriter<decltype(sink)> reply(sink);
            reply.begin(kAbortSeq, 0);
            reply.end(m_logic.takeStatus());
            leaveFast();
        } else if (m_input.rateLost()) {
            // Bytes at another rate: powered down, and plain mode, silent as after any
            // receive error, dropping bytes until the line is quiet.
            powerDownFast();
            m_logic.receiveError(nowMs);
            m_resync.start(nowMs);
            leaveFast();
        } else {
            // The time now: a packet that ran since `nowMs` moved the clock, and its reply
            // is the line's latest activity.
            if (m_input.quietFallbackDue(m_logic.powered(), ProgrammerUnit::nowMs()))
                leaveFast();
            break;
        }
    }
    return out;
}

// ABORT, or the rate lost: a cut core instruction completed and the target powered down.
void ProgrammerUnit::powerDownFast() {
    unit::Step step;
    const bool powered = m_logic.powered();
    m_logic.end(step);
    std::uint8_t data = 0;
    if (powered)
        perform(step, data);
}

// Plain mode at 56000 baud once what is being sent is out.
void ProgrammerUnit::leaveFast() {
    m_fast = false;
    m_rate = kRate56000;
}

// A packet's commands one by one, its reads streamed into the reply. A unit muted on the
// way stops where it is, its reply unfinished.
void ProgrammerUnit::runPacket(std::uint8_t slot, std::vector<std::uint8_t>& out) {
    auto sink = [&out](std::uint8_t byte) { out.push_back(byte); };
    unit::ReplyWriter<decltype(sink)> reply(sink);
    unit::PacketRun run;
    const std::uint8_t seq = m_input.seq(slot);
    if (!run.start(m_input.payload(slot), m_input.length(slot))) {
        m_input.finished(slot);
        m_input.block();
        reply.begin(seq, 0);
        reply.end(kStatusRejected);
        violation("packet " + std::to_string(seq) +
                  " does not hold whole commands of a packet (LEAVE last)");
        return;
    }
    reply.begin(seq, run.reads());
    m_logic.setLowVoltage(m_supplies.lowVoltage);
    unit::Step step;
    std::uint8_t command = 0;
    for (;;) {
        const unit::PacketRun::Next next = run.next(m_logic, step);
        if (next == unit::PacketRun::kDone)
            break;
        if (next == unit::PacketRun::kWait) {
            m_clock.sleepMicros(static_cast<std::int64_t>(run.waitMs()) * 1000);
            continue;
        }
        if (muteAfter >= 0 && m_commands >= muteAfter)
            return;
        command = step.command;
        std::uint8_t data = 0;
        if (!perform(step, data)) {
            run.refuse();
            break;
        }
        ++m_commands;
        if (step.action == unit::Action::Read)
            reply.data(data);
        if (next == unit::PacketRun::kLeave)
            break;
    }
    m_input.finished(slot);
    if (run.refused()) {
        m_input.block();
        if (!m_lineFault && m_logic.powered())
            violation("the reference unit refused command " + std::to_string(command) +
                      " in packet " + std::to_string(seq) + ": nothing runs until ABORT");
    }
    reply.end(m_logic.takeStatus());
    m_input.replied(nowMs());
    if (run.leaving())
        leaveFast();
}

// What the unit's ADC reads, in units of 10 mV, scaled by the reference the unit believes
// in against the nominal one the simulation measures with.
std::uint16_t ProgrammerUnit::measured(int millivolts) const {
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(millivolts) *
                                      m_logic.referenceMillivolts() /
                                      (10 * kNominalReferenceMillivolts));
}

std::uint8_t ProgrammerUnit::supplyCheck() const {
    const UnitSupplies& s = m_supplies;
    return unit::powerUpSupplyStatus(
        measured(s.mclrFromFiveVolts ? s.vddMillivolts : s.vppMillivolts),
        measured(s.targetPowered ? s.vddMillivolts : 0), measured(s.vddMillivolts), s.lowVoltage);
}

// The pin work of a step on the chip; false when the supplies refuse a power-up.
bool ProgrammerUnit::perform(const unit::Step& step, std::uint8_t& data) {
    const bool chip = !emptySocket;
    switch (step.action) {
    case unit::Action::None:
    case unit::Action::Calibrate:
    case unit::Action::Report:
    case unit::Action::EnterFast:
        break;
    case unit::Action::PowerUp:
        if (!m_logic.powerUp(supplyCheck()))
            return false;
        if (chip)
            m_chip.powerUp(true);
        break;
    case unit::Action::PowerDown:
        // A cut core instruction gets its NOP operand and time to finish what its 4th
        // clock started; any other code is dropped as MCLR falls.
        if (chip && step.completeFrame) {
            m_chip.transfer(0x0, 0x0000);
            m_clock.sleepMicros(kCutCoreInstructionHoldMs * 1000);
        } else if (chip && m_commandCode >= 0) {
            m_chip.commandCut(m_commandCode);
        }
        m_commandCode = -1;
        if (chip)
            m_chip.powerDown();
        break;
    case unit::Action::CommandCode:
        m_commandCode = step.value;
        break;
    case unit::Action::Operand:
        if (chip)
            m_chip.transfer(m_commandCode, step.value);
        m_commandCode = -1;
        break;
    case unit::Action::Pulse: {
        const std::int64_t micros = static_cast<std::int64_t>(step.value) * 1000;
        m_clock.sleepMicros(micros);
        if (chip)
            m_chip.programmingPulse(micros);
        break;
    }
    case unit::Action::Read:
        data = chip ? m_chip.readTransfer(m_commandCode) : 0x00;
        m_commandCode = -1;
        break;
    }
    return true;
}

std::vector<std::uint8_t> ProgrammerUnit::run(const unit::Step& step) {
    std::uint8_t data = 0;
    if (step.action == unit::Action::Report) {
        std::uint8_t report[kUnitReportSize];
        const UnitSupplies& s = m_supplies;
        m_logic.report(report, measured(s.mclrFromFiveVolts ? s.vddMillivolts : s.vppMillivolts),
                       measured(s.targetPowered ? s.vddMillivolts : 0));
        return {std::begin(report), std::end(report)};
    }
    if (step.action == unit::Action::EnterFast) {
        // Answered at 56000 baud; the switch follows once the reply is out.
        if (unit::fastRateTaken(static_cast<std::uint8_t>(step.value))) {
            m_fast = true;
            m_rate = static_cast<std::uint8_t>(step.value);
            m_input.start(m_buffers[0], m_buffers[1], kMaxPacketPayload, nowMs());
        }
        return {kFastModeVersion, unit::kFastRateMask};
    }
    if (!perform(step, data))
        return {};
    std::vector<std::uint8_t> reply;
    if (step.command == kCmdReadByte)
        reply.push_back(data);
    reply.push_back(m_logic.takeReply());
    return reply;
}

} // namespace tessaline::sim
