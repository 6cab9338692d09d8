// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/unit_logic.hpp"

#include "firmware/fault_builds.hpp"
#include "protocol/unit_protocol.hpp"

namespace tessaline {
namespace unit {

UnitLogic::UnitLogic()
    : m_framer(CommandSet::Original, faulty(Fault::NoPartialTimeout) ? 0 : kUnitPartialCommandMs) {}

bool UnitLogic::receive(uint8_t byte, uint32_t nowMs, Step& step) {
    const CommandFramer::Event event = m_framer.take(byte, nowMs);
    if (m_framer.dropped() || event == CommandFramer::kNotACommand)
        m_status |= kStatusReceiveError;
    if (event != CommandFramer::kComplete)
        return false;
    step = complete();
    return true;
}

void UnitLogic::tick(uint32_t nowMs) {
    if (m_framer.expire(nowMs))
        m_status |= kStatusReceiveError;
}

void UnitLogic::receiveError() {
    m_framer.drop();
    m_status |= kStatusReceiveError;
}

void UnitLogic::powerMeasured(bool vppInRange, bool vddInRange) {
    m_powerStatus = static_cast<uint8_t>((vppInRange ? 0 : kStatusVppOutOfRange) |
                                         (vddInRange ? 0 : kStatusVddOutOfRange));
}

uint8_t UnitLogic::takeStatus() {
    const auto status = static_cast<uint8_t>(m_status | m_powerStatus);
    m_status = 0;
    return status;
}

void UnitLogic::refuse(Step& step) {
    step.action = Action::None;
    m_status |= kStatusRefused;
}

// A command's precondition failing leaves the pins alone but still gets its reply, so
// that the program stays in step; what the unit believes is under way on the pins (the
// 4-bit command waiting for its operand) stays as it was.
Step UnitLogic::complete() {
    Step step;
    step.command = m_framer.command();
    switch (step.command) {
    case kCmdBeginVddFirst:
    case kCmdBeginVppFirst:
        step.action = Action::PowerUp;
        // The low-voltage entry has no VPP-first order.
        step.vddFirst = step.command == kCmdBeginVddFirst || m_lowVoltage;
        if (step.vddFirst != (step.command == kCmdBeginVddFirst))
            m_status |= kStatusRefused;
        // A second power-up powers down first: the chip never sees one power-up on top
        // of another.
        step.powerDownFirst = m_powered;
        if (m_powered)
            m_status |= kStatusRefused;
        m_powered = true;
        m_pending = Pending::None;
        break;
    case kCmdEnd:
        step.action = Action::PowerDown;
        if (m_pending != Pending::None)
            m_status |= kStatusRefused;
        m_powered = false;
        m_pending = Pending::None;
        break;
    case kCmdCommandCode: {
        const uint8_t code = m_framer.argument(0);
        if ((!faulty(Fault::ClockUnpowered) && !m_powered) || m_pending != Pending::None ||
            !(isWriteCode(code) || isReadCode(code))) {
            refuse(step);
            break;
        }
        step.action = Action::CommandCode;
        step.value = code;
        m_pending = isReadCode(code) ? Pending::Read : Pending::Write;
        break;
    }
    case kCmdDataWord:
        // An operand after a read command would drive PGD against the chip's bits.
        if ((!faulty(Fault::ClockUnpowered) && !m_powered) || m_pending != Pending::Write) {
            refuse(step);
            break;
        }
        step.action = Action::Operand;
        step.value = m_framer.operand();
        m_pending = Pending::None;
        break;
    case kCmdStartProg:
        if (!m_powered || m_pending != Pending::None) {
            refuse(step);
            break;
        }
        step.action = Action::Pulse;
        step.value = m_progTimeMs;
        break;
    case kCmdReadByte:
        // A read after a write command would end a table write with operand 00xxh.
        if (!m_powered || m_pending != Pending::Read) {
            refuse(step);
            break;
        }
        step.action = Action::Read;
        m_pending = Pending::None;
        break;
    case kCmdProgTime:
        if (m_framer.argument(0) == 0) {
            m_progTimeMs = 1;
            m_status |= kStatusRefused;
        } else {
            m_progTimeMs = m_framer.argument(0);
        }
        break;
    default:
        break;
    }
    return step;
}

} // namespace unit
} // namespace tessaline
