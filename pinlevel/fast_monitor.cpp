// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/fast_monitor.hpp"

#include "pinlevel/monitor_text.hpp"

#include <algorithm>

namespace tessaline::pinlevel {

namespace {

constexpr std::uint64_t kCyclesPerMs = kMonitorCyclesPerMs;

std::uint32_t msOf(std::uint64_t cycle) {
    return static_cast<std::uint32_t>(cycle / kCyclesPerMs);
}

std::string transfer(const IcspPinDecoder::Frame& frame) {
    if (frame.pulse)
        return "the programming pulse";
    if (frame.read)
        return "read command " + hexText(static_cast<unsigned>(frame.command), 1);
    return "command " + hexText(static_cast<unsigned>(frame.command), 1) + " with operand " +
           hexText(frame.operand, 4);
}

} // namespace

FastMonitor::FastMonitor(const IcspPinDecoder& decoder, unit::UnitLogic& logic, Supplies supplies,
                         Violation violation)
    : m_decoder(decoder), m_logic(logic), m_supplies(std::move(supplies)),
      m_violation(std::move(violation)) {}

void FastMonitor::start(std::uint64_t cycle) {
    m_on = true;
    m_rateLost = false;
    m_input.start(m_buffers[0], m_buffers[1], kMaxPacketPayload, msOf(cycle));
    m_readyCycles.clear();
    m_replies.reset();
    m_job = Job::None;
    m_lastArrival = cycle;
    m_lastReplyEnd = cycle;
    m_powered = m_logic.powered();
    m_programMode = m_decoder.programMode();
    m_vdd = m_decoder.nets().vdd;
}

// The unit runs what it accepted in order: a packet starts once its last byte is in and
// the reply before it is out.
bool FastMonitor::byteToUnit(std::uint64_t cycle, int byte) {
    const std::uint32_t now = msOf(cycle);
    if (m_job == Job::None && m_input.quietFallbackDue(m_powered, now)) {
        m_on = false;
        return false;
    }
    m_lastArrival = cycle;
    const std::uint8_t queued = m_input.queued();
    const bool eventBefore = m_input.rejectionPending() || m_input.abortPending();
    if (byte < 0)
        m_input.lineError(true, now);
    else
        m_input.take(static_cast<std::uint8_t>(byte), now);
    if (m_input.queued() > queued)
        m_readyCycles.push_back(cycle);
    if (!eventBefore && (m_input.rejectionPending() || m_input.abortPending()))
        m_eventCycle = cycle;
    if (m_input.rateLost())
        m_eventCycle = std::max(m_eventCycle, cycle);
    serve(cycle);
    return true;
}

void FastMonitor::serve(std::uint64_t cycle) {
    while (m_on && m_job == Job::None) {
        const std::uint8_t slot = m_input.nextPacket();
        std::uint8_t seq = 0;
        if (slot != unit::PacketInput::kNone) {
            const std::uint64_t ready = m_readyCycles.empty() ? cycle : m_readyCycles.front();
            if (!m_readyCycles.empty())
                m_readyCycles.pop_front();
            m_jobStart = std::max(ready, m_lastReplyEnd);
            startPacket(slot, cycle);
        } else if (m_input.rejectionDue(seq)) {
            m_jobStart = std::max(m_eventCycle, m_lastReplyEnd);
            m_job = Job::Rejection;
            m_seq = seq;
            m_replyStarted = false;
        } else if (m_input.abortDue()) {
            m_jobStart = std::max(m_eventCycle, m_lastReplyEnd);
            m_job = Job::Abort;
            m_seq = kAbortSeq;
            m_replyStarted = false;
            powerDown(cycle);
        } else if (m_input.rateLost()) {
            m_jobStart = std::max(m_eventCycle, m_lastReplyEnd);
            m_job = Job::RateLost;
            powerDown(cycle);
            if (m_want == Want::None)
                finishJob(cycle);
        } else {
            return;
        }
    }
}

void FastMonitor::startPacket(std::uint8_t slot, std::uint64_t cycle) {
    m_job = Job::Packet;
    m_slot = slot;
    m_seq = m_input.seq(slot);
    ++m_packets;
    m_replyStarted = false;
    m_readFrames = 0;
    m_dataSeen = 0;
    m_readData.clear();
    m_want = Want::None;
    m_leaveAfterFrame = false;
    m_powerUpPending = false;
    m_runDone = false;
    m_waitCycles = 0;
    if (!m_run.start(m_input.payload(slot), m_input.length(slot))) {
        m_job = Job::Rejection;
        m_input.finished(slot);
        m_input.block();
        m_readyCycles.clear();
        return;
    }
    advance(cycle);
}

// ABORT and the rate lost: a cut core instruction completed, then the power-down, if the
// target is powered.
void FastMonitor::powerDown(std::uint64_t) {
    m_want = Want::None;
    m_leaveAfterFrame = false;
    unit::Step step;
    const bool powered = m_powered;
    m_logic.end(step);
    if (powered)
        expectPowerDown(step.completeFrame);
    m_powered = false;
}

void FastMonitor::expectPowerDown(bool completeFrame) {
    if (completeFrame) {
        m_want = Want::Frame;
        m_wantFrame = IcspPinDecoder::Frame{};
        m_wantFrame.command = 0;
        m_pulseCycles = 0;
        m_leaveAfterFrame = m_powered;
    } else if (m_powered) {
        m_want = Want::Leave;
    }
    m_powered = false;
}

// The packet's commands through the unit's logic, up to the next that moves the pins
// (a power-up waits for the pins to say when the unit measured).
void FastMonitor::advance(std::uint64_t) {
    while (m_job == Job::Packet && m_want == Want::None && !m_powerUpPending && !m_runDone) {
        unit::Step step;
        switch (m_run.next(m_logic, step)) {
        case unit::PacketRun::kDone:
            m_runDone = true;
            continue;
        case unit::PacketRun::kWait:
            m_waitCycles += static_cast<std::uint64_t>(m_run.waitMs()) * kCyclesPerMs;
            continue;
        case unit::PacketRun::kCommand:
        case unit::PacketRun::kLeave:
            ++m_commands;
            break;
        }
        m_wantFrame = IcspPinDecoder::Frame{};
        switch (step.action) {
        case unit::Action::PowerUp:
            m_powerUpPending = true;
            m_measured = false;
            break;
        case unit::Action::PowerDown:
            expectPowerDown(step.completeFrame);
            break;
        case unit::Action::CommandCode:
            m_code = static_cast<std::uint8_t>(step.value);
            break;
        case unit::Action::Operand:
            m_want = Want::Frame;
            m_wantFrame.command = m_code;
            m_wantFrame.operand = step.value;
            break;
        case unit::Action::Pulse:
            m_want = Want::Frame;
            m_wantFrame.command = 0;
            m_wantFrame.pulse = true;
            m_pulseCycles = static_cast<std::uint64_t>(step.value) * kCyclesPerMs;
            break;
        case unit::Action::Read:
            m_want = Want::Frame;
            m_wantFrame.command = m_code;
            m_wantFrame.read = true;
            break;
        case unit::Action::None:
        case unit::Action::Report:
        case unit::Action::Calibrate:
        case unit::Action::EnterFast:
            break;
        }
    }
}

// The last measurement before VDD goes on (a power-down before may still measure VDD
// falling).
void FastMonitor::measuring(std::uint64_t cycle) {
    if (m_job != Job::Packet || !m_powerUpPending || m_vdd)
        return;
    m_measured = true;
    m_foundSupplies = m_supplies(cycle);
}

// The supplies as the power-up's first measurement found them (or, if the unit did not
// measure, as they are).
bool FastMonitor::decidePowerUp(std::uint64_t cycle) {
    m_powerUpPending = false;
    if (!m_logic.powerUp(m_measured ? m_foundSupplies : m_supplies(cycle))) {
        m_run.refuse();
        m_runDone = true;
        return false;
    }
    m_powered = true;
    return true;
}

void FastMonitor::event(std::uint64_t start, std::uint64_t end, const std::string& what) {
    if (m_waitCycles > 0 && start < m_lastEventEnd + m_waitCycles)
        violation(start, "the pins were idle for " + millisText(start - m_lastEventEnd) +
                             " before " + what + " of " + jobName() + "; its WAIT asks for " +
                             millisText(m_waitCycles));
    m_waitCycles = 0;
    m_lastEventEnd = end;
}

std::string FastMonitor::jobName() const {
    switch (m_job) {
    case Job::Packet:
    case Job::Rejection:
        return "packet " + std::to_string(m_seq);
    case Job::Abort:
        return "ABORT";
    case Job::RateLost:
        return "the fall-back to plain mode";
    case Job::None:
        break;
    }
    return "no packet";
}

void FastMonitor::frame(const IcspPinDecoder::Frame& frame) {
    if (m_job == Job::None || m_job == Job::Rejection)
        return; // pinsChanged has said so
    if (m_want != Want::Frame) {
        violation(frame.end,
                  transfer(frame) + " on the pins, which " + jobName() + " does not hold there");
        return;
    }
    const IcspPinDecoder::Frame& want = m_wantFrame;
    const bool same = frame.command == want.command && frame.read == want.read &&
                      frame.pulse == want.pulse && (want.read || frame.operand == want.operand);
    if (!same)
        violation(frame.end,
                  transfer(frame) + " on the pins where " + jobName() + " holds " + transfer(want));
    else if (frame.pulse && frame.pulseCycles < m_pulseCycles)
        violation(frame.end, "programming pulse held " + millisText(frame.pulseCycles) +
                                 "; the programming time is " + millisText(m_pulseCycles));
    event(frame.start, frame.end, transfer(frame));
    if (frame.read) {
        m_readData.push_back(frame.data);
        ++m_readFrames;
    }
    m_want = m_leaveAfterFrame ? Want::Leave : Want::None;
    m_leaveAfterFrame = false;
    advance(frame.end);
}

void FastMonitor::pinsChanged(std::uint64_t cycle) {
    const IcspNets& nets = m_decoder.nets();
    if (nets.vdd && !m_vdd)
        m_vddRose = cycle;
    m_vdd = nets.vdd;
    const bool idle = m_job == Job::None || m_job == Job::Rejection || cycle < m_jobStart;
    if (idle && !m_movedIdle)
        violation(cycle, m_job == Job::Rejection
                             ? "the pins moved for " + jobName() + ", which the unit had to reject"
                             : "the pins moved while no packet ran");
    m_movedIdle = idle;
    // The fall-back's power-down ends as MCLR is let go.
    if (m_job == Job::RateLost && m_want == Want::Release && nets.mclr != MclrLevel::Low) {
        m_want = Want::None;
        finishJob(cycle);
        serve(cycle);
        return;
    }
    const bool program = m_decoder.programMode();
    if (program == m_programMode)
        return;
    m_programMode = program;
    if (program) {
        if (m_job != Job::Packet || !m_powerUpPending) {
            violation(cycle, "programming mode entered, which " + jobName() + " does not hold");
            return;
        }
        if (!decidePowerUp(cycle))
            violation(cycle, "programming mode entered although the supplies refuse it");
        event(m_vddRose, cycle, "the power-up");
        advance(cycle);
        return;
    }
    if (m_want != Want::Leave) {
        violation(cycle, "programming mode left, which " + jobName() + " does not hold there");
        return;
    }
    m_want = Want::None;
    event(cycle, cycle, "the power-down");
    if (m_job == Job::RateLost)
        m_want = Want::Release;
    else
        advance(cycle);
}

void FastMonitor::byteFromUnit(std::uint64_t cycle, std::uint8_t byte) {
    // A packet cut short is rejected once its gap has passed. The host's bytes are known
    // from the cycle their stop bit comes in, which may be later than this one.
    m_input.expire(msOf(std::max(cycle, m_lastArrival)));
    serve(cycle);
    if (!m_replies.receiving()) {
        const bool asked =
            (m_job == Job::Packet || m_job == Job::Rejection || m_job == Job::Abort) &&
            !m_replyStarted;
        if (!asked)
            violation(cycle,
                      "byte " + hexText(byte, 2) + " from the unit, which no packet asked for");
        else if (cycle < m_jobStart)
            violation(cycle, "the reply to " + jobName() + " began before its last byte came in");
        m_replyStarted = true;
        m_replyBytes = 0;
    }
    // Start, seq and count, the data, then the status.
    if (++m_replyBytes == 5u + m_replies.count() && m_replies.receiving())
        settle(cycle);
    switch (m_replies.take(byte)) {
    case ReplyReceiver::kNothing:
        return;
    case ReplyReceiver::kData: {
        ++m_dataSeen;
        if (m_job != Job::Packet)
            return;
        if (m_dataSeen > m_readFrames && m_powerUpPending)
            decidePowerUp(cycle);
        const bool ran = m_dataSeen <= m_readFrames;
        const std::uint8_t expected = ran ? m_readData[m_dataSeen - 1] : 0x00;
        if (!ran && !m_run.refused())
            violation(cycle, "byte " + std::to_string(m_dataSeen) + " of the reply to " +
                                 jobName() + " went out before its read was on the pins");
        else if (m_replies.data() != expected)
            violation(cycle, "the unit answered " + hexText(m_replies.data(), 2) + " to read " +
                                 std::to_string(m_dataSeen) + " of " + jobName() +
                                 ", whose byte on PGD was " + hexText(expected, 2));
        return;
    }
    case ReplyReceiver::kComplete:
        m_lastReplyEnd = cycle;
        replyComplete(cycle);
        return;
    case ReplyReceiver::kBad:
        violation(cycle, "a reply from the unit with a wrong CRC, or a byte outside a reply");
        return;
    }
}

// The status goes out once the packet has run: whatever of it has not moved the pins by
// then is missing.
void FastMonitor::settle(std::uint64_t cycle) {
    if (m_job == Job::Abort && m_want != Want::None) {
        violation(cycle, "the reply to ABORT came before its power-down");
        m_want = Want::None;
    }
    if (m_job != Job::Packet)
        return;
    for (;;) {
        if (m_powerUpPending && decidePowerUp(cycle))
            violation(cycle, "the reply to " + jobName() + " came before its power-up");
        advance(cycle);
        if (m_want == Want::None && !m_powerUpPending)
            return;
        violation(cycle, "the reply to " + jobName() + " came before " +
                             (m_want == Want::Frame   ? transfer(m_wantFrame)
                              : m_want == Want::Leave ? std::string("its power-down")
                                                      : std::string("its power-up")) +
                             " was on the pins");
        m_want = Want::None;
        m_leaveAfterFrame = false;
    }
}

void FastMonitor::replyComplete(std::uint64_t cycle) {
    std::uint8_t status = kStatusRejected;
    std::uint16_t count = 0;
    if (m_job == Job::Packet) {
        status = m_logic.takeStatus();
        count = m_run.reads();
    } else if (m_job == Job::Abort) {
        status = m_logic.takeStatus();
    }
    if (m_replies.seq() != m_seq || m_replies.count() != count || m_replies.status() != status)
        violation(cycle, "the reply to " + jobName() + " is " + hexText(m_replies.seq(), 2) +
                             " with " + std::to_string(m_replies.count()) + " bytes and status " +
                             hexText(m_replies.status(), 2) + "; the unit's state gives " +
                             hexText(m_seq, 2) + " with " + std::to_string(count) + " and status " +
                             hexText(status, 2));
    finishJob(cycle);
    serve(cycle);
}

void FastMonitor::finishJob(std::uint64_t cycle) {
    const std::uint32_t now = msOf(cycle);
    switch (m_job) {
    case Job::Packet:
        m_input.finished(m_slot);
        if (m_run.refused()) {
            m_input.block();
            m_readyCycles.clear();
        }
        m_input.replied(now);
        if (m_run.leaving())
            m_on = false;
        break;
    case Job::Rejection:
        m_input.replied(now);
        break;
    case Job::Abort:
        m_on = false;
        break;
    case Job::RateLost:
        m_on = false;
        m_rateLost = true;
        m_logic.receiveError(now);
        m_lastReplyEnd = cycle;
        break;
    case Job::None:
        break;
    }
    m_job = Job::None;
}

} // namespace tessaline::pinlevel
