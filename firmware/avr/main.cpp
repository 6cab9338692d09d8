// SPDX-License-Identifier: GPL-3.0-or-later
// The programmer unit's firmware for an Arduino Uno or Nano: takes the program's commands
// on the serial port, does their pin work on the ICSP lines and answers every command.

#include "board.hpp"
#include "firmware/fault_builds.hpp"
#include "firmware/unit_batch.hpp"
#include "firmware/unit_logic.hpp"
#include "icsp.hpp"
#include "protocol/fast_mode.hpp"
#include "protocol/unit_protocol.hpp"
#include "serial.hpp"
#include "timers.hpp"

#include <avr/eeprom.h>
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/wdt.h>

using namespace tessaline;
using namespace tessaline::unit;

// After a watchdog reset the watchdog stays on at its shortest time: it is switched off
// before the start-up code runs. The pull resistors hold every line safe meanwhile.
extern "C" void disableWatchdog() __attribute__((naked, used, section(".init3")));
void disableWatchdog() {
    MCUSR = 0;
    wdt_disable();
}

namespace {

// The pin work of a step. False: the supplies refused a power-up, and the target was left
// safe.
bool perform(const Step& step, UnitLogic& logic, uint8_t& data) {
    switch (step.action) {
    case Action::None:
    case Action::Report:
    case Action::EnterFast:
        break;
    case Action::PowerUp:
        return logic.powerUp(icsp::powerUp(logic.lowVoltage(), logic.referenceMillivolts()));
    case Action::PowerDown:
        if (step.completeFrame)
            icsp::completeCoreInstruction();
        icsp::powerDown(logic.referenceMillivolts());
        break;
    case Action::CommandCode:
        icsp::writeBits(step.value, 4);
        break;
    case Action::Operand:
        icsp::writeBits(step.value, 16);
        break;
    case Action::Pulse:
        icsp::pulse(static_cast<uint8_t>(step.value));
        break;
    case Action::Read:
        data = icsp::readByte();
        break;
    case Action::Calibrate:
        eeprom_update_word(reinterpret_cast<uint16_t*>(kCalibrationAddress), step.value);
        break;
    }
    return true;
}

// Plain mode: everything a command does on the pins happens before its reply goes out. A
// power-up that the supplies refuse leaves the unit silent: no reply.
void run(const Step& step, UnitLogic& logic) {
    uint8_t data = 0;
    if (faulty(Fault::ReplyBeforePulse) && step.action == Action::Pulse) {
        serial::send(logic.takeReply());
        perform(step, logic, data);
        return;
    }
    if (step.action == Action::Report) {
        const icsp::Supplies supplies = icsp::measure(logic.referenceMillivolts());
        uint8_t report[kUnitReportSize];
        logic.report(report, supplies.vpp, supplies.vdd);
        for (const uint8_t byte : report)
            serial::send(byte);
        return;
    }
    if (step.action == Action::EnterFast) {
        // Answered at 56000 baud; the rate changes once the answer has left the line.
        serial::send(kFastModeVersion);
        serial::send(kFastRateMask);
        const auto rate = static_cast<uint8_t>(step.value);
        if (fastRateTaken(rate))
            serial::switchTo(rate, true);
        return;
    }
    if (!perform(step, logic, data))
        return;
    if (step.command == kCmdReadByte)
        serial::send(data);
    serial::send(logic.takeReply());
}

struct Sender {
    void operator()(uint8_t byte) const { serial::send(byte); }
};

void waitMilliseconds(uint16_t milliseconds) {
    for (uint16_t i = 0; i < milliseconds; ++i)
        timers::waitTicks(kTicksPerMs);
}

// The target powered down by fast mode itself (ABORT, the rate lost), a core instruction
// cut after its code completed first.
void powerDown(UnitLogic& logic) {
    const bool powered = logic.powered();
    Step step;
    logic.end(step);
    uint8_t data = 0;
    if (powered)
        perform(step, logic, data);
}

// One packet: its reply's header at once, each read's byte as it completes, the status
// once the last command has run. The next packet's pin work starts only once this reply
// has been handed to the UART.
void runPacket(uint8_t slot, uint8_t seq, uint16_t length, UnitLogic& logic) {
    Sender sender;
    ReplyWriter<Sender> reply(sender);
    PacketInput& input = serial::input();
    PacketRun run;
    if (!run.start(input.payload(slot), length, serial::pumpBatchIdle)) {
        input.finished(slot);
        input.block();
        reply.begin(seq, 0);
        reply.end(kStatusRejected);
        return;
    }
    reply.begin(seq, run.reads());
    logic.setLowVoltage((PINB & kModeJumper) == 0);
    bool answered = false;
    Step step;
    for (;;) {
        wdt_reset();
        serial::pumpBatch();
        const PacketRun::Next next = run.next(logic, step);
        if (next == PacketRun::kDone)
            break;
        if (next == PacketRun::kWait) {
            waitMilliseconds(run.waitMs());
            continue;
        }
        if (faulty(Fault::FastReplyEarly) && run.atEnd()) {
            reply.end(logic.takeStatus());
            answered = true;
        }
        uint8_t data = 0;
        if (!perform(step, logic, data)) {
            run.refuse();
            break;
        }
        if (step.action == Action::Read)
            reply.data(data);
    }
    input.finished(slot);
    if (run.refused())
        input.block();
    if (!answered)
        reply.end(logic.takeStatus());
    serial::flush();
    input.replied(timers::milliseconds());
    if (run.leaving())
        serial::switchTo(kRate56000, false);
}

struct Session {
    UnitLogic logic;
    LineResync resync;
};

// Fast mode: the packets in order, then what ends them. False when there is nothing to
// do but wait for the next byte.
bool serveFast(Session& session) {
    UnitLogic& logic = session.logic;
    PacketInput& input = serial::input();
    serial::pump();
    const uint32_t now = timers::milliseconds();
    input.expire(now);
    const uint8_t slot = input.nextPacket();
    uint8_t seq = 0;
    uint16_t length = 0;
    if (slot != PacketInput::kNone) {
        seq = input.seq(slot);
        length = input.length(slot);
    }
    const bool rejected = slot == PacketInput::kNone && input.rejectionDue(seq);
    const bool aborted = input.abortDue();
    const bool rateLost = input.rateLost();
    const bool quiet = input.quietFallbackDue(logic.powered(), now);
    Sender sender;
    ReplyWriter<Sender> reply(sender);
    if (slot != PacketInput::kNone) {
        runPacket(slot, seq, length, logic);
    } else if (rejected) {
        reply.begin(seq, 0);
        reply.end(kStatusRejected);
        serial::flush();
    } else if (aborted) {
        powerDown(logic);
        reply.begin(kAbortSeq, 0);
        reply.end(logic.takeStatus());
        serial::switchTo(kRate56000, false);
    } else if (rateLost) {
        // The program talks at another rate: powered down, plain mode, silent as after
        // any receive error, and deaf until the line is quiet.
        powerDown(logic);
        logic.receiveError(now);
        serial::switchTo(kRate56000, false);
        session.resync.start(timers::milliseconds());
    } else if (quiet) {
        serial::switchTo(kRate56000, false);
    } else {
        return false;
    }
    return true;
}

} // namespace

int main() {
    icsp::init();
    serial::init();
    timers::init();
    // A firmware that hangs is reset within a second; the reset leaves every line safe.
    wdt_enable(WDTO_1S);
    timers::setIdleWork(serial::pumpIdle);
    sei();
    Session session;
    UnitLogic& logic = session.logic;
    logic.setCalibration(eeprom_read_word(reinterpret_cast<const uint16_t*>(kCalibrationAddress)));
    // Bytes that come meanwhile wait in the receive ring.
    timers::waitTicks(kReferenceSettleTicks);
    for (;;) {
        wdt_reset();
        if (serial::fast()) {
            if (!serveFast(session)) {
                // Idle until the next byte or the next millisecond.
                cli();
                timers::sleepUnless(serial::pending());
            }
            continue;
        }
        serial::Received received;
        if (serial::read(received)) {
            if (session.resync.drop(received.milliseconds))
                continue;
            logic.setLowVoltage((PINB & kModeJumper) == 0);
            Step step;
            if (received.error)
                logic.receiveError(received.milliseconds);
            else if (logic.receive(received.byte, received.milliseconds, step))
                run(step, logic);
            continue;
        }
        logic.tick(timers::milliseconds());
        cli();
        timers::sleepUnless(!serial::empty());
    }
}
