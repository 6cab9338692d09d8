// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pinlevel/icsp_pin_decoder.hpp"
#include "pinlevel/protocol_monitor.hpp"
#include "pinlevel/unit_board.hpp"
#include "pinlevel/vcd_writer.hpp"
#include "sim/chip_models.hpp"
#include "sim/pic18_chip.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct avr_t;
struct avr_irq_t;

namespace tessaline::pinlevel {

// The reference unit's firmware in libsimavr's ATmega328P at 16 MHz. Its ports go through
// the unit's circuit to the pin decoder and a strict chip, and the bits the chip shifts
// out come back onto PGD; its serial line goes through the protocol monitor. Everything
// runs on the owner's thread, and only while the owner runs it.
class AvrUnit {
public:
    static constexpr std::uint64_t kCyclesPerMs = 16000;

    struct Setup {
        std::string firmware; // the ELF file
        const sim::ChipModel* model = nullptr;
        std::uint32_t seed = 1;
        bool emptySocket = false;
        sim::UnitSupplies supplies; // and the jumpers
        // The Nth byte from the host (counting from 1) is lost on the line, or comes in
        // with a framing error; 0: none.
        std::uint64_t dropByte = 0;
        std::uint64_t garbleByte = 0;
    };

    explicit AvrUnit(const Setup& setup);
    ~AvrUnit();
    AvrUnit(const AvrUnit&) = delete;
    AvrUnit& operator=(const AvrUnit&) = delete;

    // Empty when the firmware is loaded and running; otherwise why not.
    const std::string& error() const { return m_error; }

    // The chip in the socket (with an empty socket, the one that would be there).
    sim::Pic18Chip& chip() { return m_chip; }

    // A byte from the host onto the serial line; the unit's UART receives it one byte time
    // after the one before.
    void send(std::uint8_t byte);
    // Each byte the firmware sends, in the cycle it writes it to its UART.
    std::function<void(std::uint8_t)> onByte;

    // One instruction, or one stretch of sleep. False once the firmware has stopped
    // (crashed, or asleep with interrupts off).
    bool step();
    // Runs until the given cycle, or until a callback calls pause(); false when the
    // firmware stopped.
    bool runUntil(std::uint64_t cycle);
    void pause() { m_paused = true; }
    std::uint64_t cycle() const;
    // Bytes on the wire that the UART has not received yet.
    std::size_t bytesOnWire() const { return m_wire.size(); }
    // Cycles one byte takes on the serial line, at the rate and frame the firmware has
    // set in its UART's registers.
    std::uint64_t byteCycles() const;

    // While the firmware sleeps, wait for the wall clock to catch up with simulated time
    // (real-time use on a terminal); otherwise run as fast as possible.
    void setRealTime(bool on);
    // Calls `poll` every `cycles` cycles of simulated time.
    void setPoll(std::uint64_t cycles, std::function<void()> poll);
    // Writes the ICSP lines to `out` from now on.
    void writeVcd(std::ostream& out);

    // The run is over: the checks that need its end. Unless `allowPowered`, a target left
    // with a supply on is a violation.
    void finish(bool allowPowered);
    // Everything the circuit, the pins, the chip, the serial line and the firmware got
    // wrong, in that order.
    std::vector<std::string> violations() const;

    const IcspPinDecoder& decoder() const { return m_decoder; }
    const ProtocolMonitor& monitor() const { return m_monitor; }

private:
    static void portWritten(avr_irq_t* irq, std::uint32_t value, void* self);
    static void directionWritten(avr_irq_t* irq, std::uint32_t value, void* self);
    static void uartOutput(avr_irq_t* irq, std::uint32_t value, void* self);
    static std::uint64_t wireTick(avr_t* avr, std::uint64_t when, void* self);
    static std::uint64_t driveTick(avr_t* avr, std::uint64_t when, void* self);
    static std::uint64_t pollTick(avr_t* avr, std::uint64_t when, void* self);
    static void uartConfigured(avr_irq_t* irq, std::uint32_t value, void* self);
    static void adcConfigured(avr_irq_t* irq, std::uint32_t value, void* self);
    static void adcStarts(avr_irq_t* irq, std::uint32_t value, void* self);

    bool load();
    void linesChanged();
    void chipDrive(std::uint64_t cycle, int level);
    void applyDrive(int level);
    void drainSimulatorErrors();
    void settleReference();
    std::uint32_t senseInput(int millivolts) const;

    Setup m_setup;
    std::string m_error;
    CycleClock m_clock;
    sim::Pic18Chip m_chip;
    IcspPinDecoder m_decoder;
    UnitBoard m_board;
    ProtocolMonitor m_monitor;
    std::unique_ptr<VcdWriter> m_vcd;
    std::vector<std::string> m_violations;

    avr_t* m_avr = nullptr;
    void* m_uart = nullptr;
    avr_irq_t* m_rx = nullptr;
    avr_irq_t* m_pgdPin = nullptr;
    avr_irq_t* m_vppSense = nullptr;
    avr_irq_t* m_vddSense = nullptr;
    avr_irq_t* m_portCWrite = nullptr;
    avr_irq_t* m_ddrCWrite = nullptr;
    AvrPort m_portC;
    AvrPort m_portD;
    // The internal reference on AREF: whether it is switched on, and for how many cycles
    // it has charged the pin's capacitor.
    bool m_referenceOn = false;
    std::uint64_t m_referenceSince = 0;
    std::uint64_t m_referenceCharged = 0;

    // The bytes on the wire, with simavr's framing-error flag on a garbled one.
    std::deque<std::uint16_t> m_wire;
    std::uint64_t m_hostBytes = 0;
    bool m_wireRunning = false;
    std::deque<std::pair<std::uint64_t, int>> m_drives;
    int m_chipLevel = -1;
    std::function<void()> m_poll;
    std::uint64_t m_pollCycles = 0;
    bool m_stopped = false;
    bool m_paused = false;
};

} // namespace tessaline::pinlevel
