// SPDX-License-Identifier: GPL-3.0-or-later
#include "firmware/unit_logic.hpp"

#include "engine/unit_protocol.hpp"

namespace tessaline {
namespace unit {

namespace {

// Fault builds of the firmware (for the test bench) leave out one rule each.
#ifdef UNIT_FAULT_CLOCK_UNPOWERED
constexpr bool kNeedsPowerToClock = false;
#else
constexpr bool kNeedsPowerToClock = true;
#endif
#ifdef UNIT_FAULT_NO_PARTIAL_TIMEOUT
constexpr bool kPartialCommandsTimeOut = false;
#else
constexpr bool kPartialCommandsTimeOut = true;
#endif

} // namespace

bool UnitLogic::receive(uint8_t byte, uint16_t nowMs, Step& step) {
    tick(nowMs);
    if (m_command == 0) {
        if (!isUnitCommand(byte)) {
            m_status |= kStatusReceiveError;
            return false;
        }
        m_command = byte;
        m_received = 0;
    } else {
        m_arguments[m_received++] = byte;
    }
    m_lastByteMs = nowMs;
    if (m_received < unitArgumentCount(m_command))
        return false;
    step = complete();
    m_command = 0;
    return true;
}

void UnitLogic::tick(uint16_t nowMs) {
    // The count steps once a millisecond, at any point of the millisecond the byte came
    // in: one step more than the limit makes sure the whole time has passed.
    if (kPartialCommandsTimeOut && m_command != 0 &&
        static_cast<uint16_t>(nowMs - m_lastByteMs) > kUnitPartialCommandMs) {
        m_command = 0;
        m_status |= kStatusReceiveError;
    }
}

void UnitLogic::receiveError() {
    m_command = 0;
    m_status |= kStatusReceiveError;
}

void UnitLogic::powerMeasured(bool vppInRange, bool vddInRange) {
    m_powerStatus = static_cast<uint8_t>((vppInRange ? 0 : kStatusVppOutOfRange) |
                                         (vddInRange ? 0 : kStatusVddLow));
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
    step.command = m_command;
    switch (m_command) {
    case kCmdBeginVddFirst:
    case kCmdBeginVppFirst:
        step.action = Action::PowerUp;
        // The low-voltage entry has no VPP-first order.
        step.vddFirst = m_command == kCmdBeginVddFirst || m_lowVoltage;
        if (step.vddFirst != (m_command == kCmdBeginVddFirst))
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
        const uint8_t code = m_arguments[0];
        if ((kNeedsPowerToClock && !m_powered) || m_pending != Pending::None ||
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
        if ((kNeedsPowerToClock && !m_powered) || m_pending != Pending::Write) {
            refuse(step);
            break;
        }
        step.action = Action::Operand;
        step.value = static_cast<uint16_t>(m_arguments[0] | m_arguments[1] << 8);
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
        if (m_arguments[0] == 0) {
            m_progTimeMs = 1;
            m_status |= kStatusRefused;
        } else {
            m_progTimeMs = m_arguments[0];
        }
        break;
    default:
        break;
    }
    return step;
}

} // namespace unit
} // namespace tessaline
