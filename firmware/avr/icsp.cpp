// SPDX-License-Identifier: GPL-3.0-or-later
#include "icsp.hpp"

#include "board.hpp"
#include "firmware/fault_builds.hpp"
#include "firmware/unit_logic.hpp"
#include "timers.hpp"

#include <avr/interrupt.h>
#include <avr/io.h>

namespace tessaline {
namespace unit {
namespace icsp {

namespace {

// The PORTC bits that stay as they are while clocking: the spare input's pull-up, and PGM
// high through a low-voltage session.
uint8_t g_base = kSpare;
// PGD is an input: idle, or after a read until the next command's first clock.
bool g_pgdInput = true;

// PORTD with the power lines cleared and the UART's bits as they are.
uint8_t portdWithoutPower() {
    return static_cast<uint8_t>(PORTD & ~kPowerLines);
}

// MCLR to ground, VDD off and PGM down in three consecutive instructions, 62.5 ns apart.
inline void powerOff(uint8_t mclrDown, uint8_t vddDown, uint8_t pgmDown) {
    asm volatile("out %0, %2\n\tout %0, %3\n\tout %1, %4"
                 :
                 : "I"(_SFR_IO_ADDR(PORTD)), "I"(_SFR_IO_ADDR(PORTC)), "r"(mclrDown), "r"(vddDown),
                   "r"(pgmDown));
}

constexpr uint8_t kReference = (1 << REFS1) | (1 << REFS0); // the internal 1.1 V
constexpr uint8_t kAdcOn = (1 << ADEN) | (1 << ADPS2) | (1 << ADPS1) | (1 << ADPS0);

// The target's VDD was switched on since MCLR was last released, and the target had a
// supply of its own at the last power-up.
bool g_vddSwitched = false;
bool g_targetSupplied = false;

uint16_t sample(uint8_t channel) {
    // ADC clock 125 kHz; the first conversion after a change of channel is thrown away.
    if (faulty(Fault::UnsettledReference))
        ADCSRA = kAdcOn;
    ADMUX = static_cast<uint8_t>(kReference | channel);
    uint16_t value = 0;
    for (uint8_t i = 0; i < 2; ++i) {
        ADCSRA = kAdcOn | (1 << ADSC);
        while (ADCSRA & (1 << ADSC)) {
        }
        value = ADC;
    }
    if (faulty(Fault::UnsettledReference))
        ADCSRA = 0;
    return value;
}

uint8_t vppChannel() {
    return faulty(Fault::SwapSense) ? kVddSenseChannel : kVppSenseChannel;
}
uint8_t vddChannel() {
    return faulty(Fault::SwapSense) ? kVppSenseChannel : kVddSenseChannel;
}

bool refused(uint8_t status) {
    return !faulty(Fault::IgnoreMeasurement) && (status & kStatusFailures) != 0;
}

} // namespace

void init() {
    g_base = kSpare;
    g_pgdInput = true;
    PORTD = static_cast<uint8_t>(portdWithoutPower() | kMclrLow | kUnusedPortD);
    DDRD = static_cast<uint8_t>(DDRD | kPowerLines);
    PORTC = kSpare;
    DDRC = 0;
    DDRB = 0;
    PORTB = kModeJumper | kUnusedPortB; // the jumper's pull-up, and the free pins'
    // No digital input buffers on the sense inputs. The reference is switched on here and
    // kept on, so that it has settled long before the first measurement.
    DIDR0 = (1 << ADC4D) | (1 << ADC5D);
    if (!faulty(Fault::UnsettledReference)) {
        ADMUX = kReference | kVddSenseChannel;
        ADCSRA = kAdcOn;
    }
}

Supplies measure(uint16_t referenceMillivolts) {
    Supplies supplies;
    supplies.vpp = senseCentivolts(sample(vppChannel()), referenceMillivolts, Sense::Vpp);
    supplies.vdd = senseCentivolts(sample(vddChannel()), referenceMillivolts, Sense::Vdd);
    return supplies;
}

uint8_t powerUp(bool lowVoltage, uint16_t referenceMillivolts) {
    const Supplies before = measure(referenceMillivolts);
    uint8_t status = supplyStatus(before.vpp, before.vdd, lowVoltage, false);
    g_targetSupplied = (status & kStatusSelfPowered) != 0;
    if (refused(status))
        return status;
    const uint8_t idle = portdWithoutPower();
    g_base = kSpare;
    PORTC = kSpare;
    DDRC = kIcspLines; // PGC, PGD and PGM driven low: programming mode needs them low
    g_pgdInput = false;
    PORTD = static_cast<uint8_t>(idle | kMclrLow | kVddOn | kLed);
    g_vddSwitched = true;
    timers::waitTicks(kVddSettleTicks);
    const Supplies after = measure(referenceMillivolts);
    status = static_cast<uint8_t>(status | supplyStatus(after.vpp, after.vdd, lowVoltage, true));
    if (refused(status)) {
        PORTD = static_cast<uint8_t>(idle | kMclrLow);
        return status;
    }
    if (lowVoltage) {
        g_base = kSpare | kPgm;
        PORTC = g_base;
        __builtin_avr_delay_cycles(kPgmSetupCycles);
    }
    // MCLR from ground to VPP in one step, never lingering near VIH.
    PORTD = static_cast<uint8_t>(idle | kVddOn | kVppOn | kLed);
    timers::waitTicks(kEntryHoldTicks);
    return faulty(Fault::IgnoreMeasurement) ? 0 : status;
}

void completeCoreInstruction() {
    writeBits(0, 16);
    timers::waitTicks(kCutCoreHoldTicks);
}

void powerDown(uint16_t referenceMillivolts) {
    // PGC low, and PGD low when driven (an input after a read, held low by its pull-down).
    PORTC = g_base;
    const uint8_t idle = portdWithoutPower();
    // VDD stays as it is in the first step: off, it must not pulse on.
    const uint8_t mclrDown = static_cast<uint8_t>((PORTD & ~kVppOn) | kMclrLow);
    const uint8_t vddDown = static_cast<uint8_t>(idle | kMclrLow);
    if (faulty(Fault::LateVddOff)) {
        PORTD = mclrDown;
        __builtin_avr_delay_cycles(160);
        PORTD = vddDown;
        PORTC = kSpare;
    } else {
        // VPP off and MCLR to ground together; VDD off in the next instruction (P17 is
        // 100 ns at most); PGM, high in a low-voltage session, only after MCLR (P18) and
        // in the instruction after that.
        cli();
        powerOff(mclrDown, vddDown, kSpare);
        sei();
    }
    g_base = kSpare;
    timers::waitTicks(kPowerDownTicks);
    // A chip released from reset while its VDD is still falling may start its program,
    // or brown out half way into it.
    if (g_vddSwitched && !g_targetSupplied && !faulty(Fault::EarlyMclrRelease)) {
        for (uint16_t waited = 0; waited < kDischargeBoundMs; ++waited) {
            if (senseCentivolts(sample(vddChannel()), referenceMillivolts, Sense::Vdd) <
                kVddAbsentCentivolts)
                break;
            timers::waitTicks(kTicksPerMs);
        }
    }
    g_vddSwitched = false;
    DDRC = 0;
    g_pgdInput = true;
    PORTD = idle; // MCLR released: a target with its own supply may run
}

void writeBits(uint16_t value, uint8_t count) {
    const uint8_t base = g_base;
    if (g_pgdInput && count > 0) {
        // After a read, a chip may hold PGD until the next rising clock (P19 on the parts
        // that release it late): PGD is driven only once PGC is high, and still set up well
        // before PGC falls.
        const uint8_t data = (value & 1) ? kPgd : 0;
        value = static_cast<uint16_t>(value >> 1);
        --count;
        PORTC = static_cast<uint8_t>(base | kPgc);
        __builtin_avr_delay_cycles(kSetupCycles);
        DDRC = kIcspLines;
        PORTC = static_cast<uint8_t>(base | kPgc | data);
        g_pgdInput = false;
        __builtin_avr_delay_cycles(kHighCycles);
        PORTC = static_cast<uint8_t>(
            base | (faulty(Fault::DataWithClock) && (value & 1) && count > 0 ? kPgd : data));
        __builtin_avr_delay_cycles(kHoldCycles);
    }
    // Each bit: PGD set while PGC is low, PGC up, PGC down (the chip latches PGD), PGD held.
    for (; count > 0; --count) {
        const uint8_t low = static_cast<uint8_t>((value & 1) ? base | kPgd : base);
        value = static_cast<uint16_t>(value >> 1);
        PORTC = low;
        __builtin_avr_delay_cycles(kSetupCycles);
        PORTC = static_cast<uint8_t>(low | kPgc);
        __builtin_avr_delay_cycles(kHighCycles);
        if (faulty(Fault::DataWithClock))
            PORTC = static_cast<uint8_t>(base | ((value & 1) && count > 1 ? kPgd : 0));
        else
            PORTC = low;
        __builtin_avr_delay_cycles(kHoldCycles);
    }
    PORTC = base;
}

void pulse(uint8_t milliseconds) {
    writeBits(0, 3);
    const uint8_t base = g_base;
    __builtin_avr_delay_cycles(kSetupCycles);
    PORTC = static_cast<uint8_t>(base | kPgc);
    const uint16_t pulseTicks = static_cast<uint16_t>(milliseconds * kTicksPerMs);
    timers::waitTicks(faulty(Fault::ShortPulse) ? static_cast<uint16_t>(pulseTicks / 10u * 9u)
                                                : pulseTicks);
    PORTC = base;
    timers::waitTicks(faulty(Fault::ShortP10) ? 2 : kDischargeTicks);
    writeBits(0, 16);
}

uint8_t readByte() {
    writeBits(0, 8);
    const uint8_t base = g_base;
    if (!faulty(Fault::PgdOutputInRead)) {
        DDRC = kIcspLines & ~kPgd; // PGD an input; its PORT bit is 0, so no pull-up
        g_pgdInput = true;
    }
    __builtin_avr_delay_cycles(kTurnaroundCycles);
    uint8_t value = 0;
    for (uint8_t i = 0; i < 8; ++i) {
        PORTC = static_cast<uint8_t>(base | kPgc);
        if (!faulty(Fault::SampleAtRise))
            __builtin_avr_delay_cycles(kSampleCycles);
        const uint8_t level = PINC;
        PORTC = base;
        value = static_cast<uint8_t>((value >> 1) | ((level & kPgd) ? 0x80 : 0));
        __builtin_avr_delay_cycles(kReadLowCycles);
    }
    return value;
}

} // namespace icsp
} // namespace unit
} // namespace tessaline
