// SPDX-License-Identifier: GPL-3.0-or-later
// The programmer unit's firmware for an Arduino Uno or Nano: takes the program's commands
// on the serial port, does their pin work on the ICSP lines and answers every command.

#include "board.hpp"
#include "firmware/fault_builds.hpp"
#include "firmware/unit_logic.hpp"
#include "icsp.hpp"
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

// Everything a command does on the pins happens before its reply goes out. A power-up
// that the supplies refuse leaves the unit silent: no reply.
void run(const Step& step, UnitLogic& logic) {
    uint8_t data = 0;
    const bool replyFirst = faulty(Fault::ReplyBeforePulse) && step.action == Action::Pulse;
    if (replyFirst)
        serial::send(logic.takeReply());
    switch (step.action) {
    case Action::None:
        break;
    case Action::PowerUp:
        if (!logic.powerUp(icsp::powerUp(logic.lowVoltage(), logic.referenceMillivolts())))
            return;
        break;
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
        if (replyFirst)
            return;
        break;
    case Action::Read:
        data = icsp::readByte();
        break;
    case Action::Report: {
        const icsp::Supplies supplies = icsp::measure(logic.referenceMillivolts());
        uint8_t report[kUnitReportSize];
        logic.report(report, supplies.vpp, supplies.vdd);
        for (const uint8_t byte : report)
            serial::send(byte);
        return;
    }
    case Action::Calibrate:
        eeprom_update_word(reinterpret_cast<uint16_t*>(kCalibrationAddress), step.value);
        break;
    }
    if (step.command == kCmdReadByte)
        serial::send(data);
    serial::send(logic.takeReply());
}

} // namespace

int main() {
    icsp::init();
    serial::init();
    timers::init();
    // A firmware that hangs is reset within a second; the reset leaves every line safe.
    wdt_enable(WDTO_1S);
    sei();
    UnitLogic logic;
    logic.setCalibration(eeprom_read_word(reinterpret_cast<const uint16_t*>(kCalibrationAddress)));
    // Bytes that come meanwhile wait in the receive ring.
    timers::waitTicks(kReferenceSettleTicks);
    for (;;) {
        wdt_reset();
        serial::Received received;
        if (serial::read(received)) {
            logic.setLowVoltage((PINB & kModeJumper) == 0);
            Step step;
            if (received.error)
                logic.receiveError(received.milliseconds);
            else if (logic.receive(received.byte, received.milliseconds, step))
                run(step, logic);
            continue;
        }
        logic.tick(timers::milliseconds());
        // Idle until the next byte or the next millisecond.
        cli();
        timers::sleepUnless(!serial::empty());
    }
}
