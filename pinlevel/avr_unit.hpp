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
    // The rate the host sends at; 0 (at first): whatever rate the unit's UART runs at. At
    // a rate more than 2 % from the UART's, the UART samples the host's waveform at its
    // own rate: slower bytes come in as framing errors, faster ones as whatever the
    // samples make of them.
    void setHostBaud(std::uint32_t baud);
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
    // Keeps every transfer the pin decoder completes, from now on, in frames().
    void recordFrames(bool on) { m_recordFrames = on; }
    const std::vector<IcspPinDecoder::Frame>& frames() const { return m_frames; }

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
    static std::uint64_t lineTick(avr_t* avr, std::uint64_t when, void* self);
    static std::uint64_t driveTick(avr_t* avr, std::uint64_t when, void* self);
    static std::uint64_t pollTick(avr_t* avr, std::uint64_t when, void* self);
    static void uartConfigured(avr_irq_t* irq, std::uint32_t value, void* self);
    static void adcConfigured(avr_irq_t* irq, std::uint32_t value, void* self);
    static void adcStarts(avr_irq_t* irq, std::uint32_t value, void* self);

    bool load();
    bool rateMismatch() const;
    std::uint64_t hostBitCycles() const;
    std::uint64_t unitBitCycles() const;
    int lineLevel(std::uint64_t at) const;
    bool nextFallingEdge(std::uint64_t from, std::uint64_t& edge) const;
    void scheduleLine();
    void receiveFromLine(std::uint16_t value, std::uint64_t at);
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
    // At a rate other than the UART's: the host's bytes on the line from the cycle each
    // starts in (a garbled one with its stop bit low), and where the UART's receiver looks
    // for its next start bit.
    std::uint32_t m_hostBaud = 0;
    std::deque<std::pair<std::uint64_t, std::uint16_t>> m_line;
    std::uint64_t m_lineFree = 0;
    std::uint64_t m_receiverFrom = 0;
    bool m_lineScheduled = false;
    // The UART's rate as last configured, and when its last byte out ends.
    std::uint64_t m_uartByteCycles = 0;
    std::uint64_t m_sendingUntil = 0;
    std::uint8_t m_lastSent = 0;
    bool m_recordFrames = false;
    std::vector<IcspPinDecoder::Frame> m_frames;
    std::deque<std::pair<std::uint64_t, int>> m_drives;
    int m_chipLevel = -1;
    std::function<void()> m_poll;
    std::uint64_t m_pollCycles = 0;
    bool m_stopped = false;
    bool m_paused = false;
};

} // namespace tessaline::pinlevel
