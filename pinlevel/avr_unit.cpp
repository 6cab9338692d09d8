// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinlevel/avr_unit.hpp"

#include <simavr/avr_adc.h>
#include <simavr/avr_extint.h>
#include <simavr/avr_ioport.h>
#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_cycle_timers.h>
#include <simavr/sim_elf.h>
#include <simavr/sim_io.h>
#include <simavr/sim_irq.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace tessaline::pinlevel {

namespace {

// The ATmega328P's I/O ports and the bits the unit uses on them.
constexpr std::uint8_t kPgdBit = 1;
constexpr std::uint8_t kModeJumper = 1 << 0;

// The ATmega328P's registers (data addresses) of the UART's rate and frame, and of the
// ADC's reference.
constexpr avr_io_addr_t kUcsr0a = 0xC0;
constexpr avr_io_addr_t kUcsr0b = 0xC1;
constexpr avr_io_addr_t kUcsr0c = 0xC2;
constexpr avr_io_addr_t kUbrr0l = 0xC4;
constexpr avr_io_addr_t kUbrr0h = 0xC5;
constexpr avr_io_addr_t kAdcsra = 0x7A;
constexpr avr_io_addr_t kAdmux = 0x7C;

// The internal 1.1 V reference charges the 100 nF on AREF through about 10 kΩ: 1 ms.
constexpr double kReferenceRiseCycles = 16000.0;
// A conversion: 13 clocks of the ADC at 16 MHz / 128.
constexpr std::uint64_t kConversionCycles = 13 * 128;
// libsimavr converts against this reference, in millivolts.
constexpr double kSimulatorReference = 1100.0;

// simavr writes its messages through one global logger, some of them to standard output
// (which must carry nothing but the terminal's path). Errors are kept for the unit that
// is running; everything else is dropped.
std::vector<std::string>& simulatorErrors() {
    static std::vector<std::string> errors;
    return errors;
}
bool g_simulatorErrors = false;

void quietLogger(avr_t*, const int level, const char* format, va_list arguments) {
    if (level != LOG_ERROR)
        return;
    char text[256];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    simulatorErrors().push_back(message);
    g_simulatorErrors = true;
}

// Deterministic runs: a sleeping core jumps to its next timer without waiting.
void noSleep(avr_t*, avr_cycle_count_t) {}

avr_uart_t* uartOf(avr_t* avr) {
    for (avr_io_t* io = avr->io_port; io; io = io->next)
        if (io->kind && std::strcmp(io->kind, "uart") == 0)
            return reinterpret_cast<avr_uart_t*>(io);
    return nullptr;
}

// simavr loads the sections of any ELF file, and a program for another machine crashes it:
// only a 32-bit little-endian ELF whose machine is the AVR (EM_AVR, 83), and whose program
// and section tables lie within the file, goes to it.
bool isAvrElf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[52] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (in.gcount() != sizeof header)
        return false;
    const auto field = [&header](std::size_t at, std::size_t size) {
        std::uint64_t value = 0;
        for (std::size_t i = size; i-- > 0;)
            value = value << 8 | header[at + i];
        return value;
    };
    constexpr unsigned char kMagic[] = {0x7F, 'E', 'L', 'F'};
    constexpr unsigned kClass32 = 1;
    constexpr unsigned kLittleEndian = 1;
    constexpr unsigned kMachineAvr = 83;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0 || header[4] != kClass32 ||
        header[5] != kLittleEndian || field(18, 2) != kMachineAvr)
        return false;
    // e_phoff, e_phentsize and e_phnum; e_shoff, e_shentsize and e_shnum.
    const std::uint64_t programTableEnd = field(28, 4) + field(42, 2) * field(44, 2);
    const std::uint64_t sectionTableEnd = field(32, 4) + field(46, 2) * field(48, 2);
    std::error_code unknown;
    const std::uint64_t size = std::filesystem::file_size(path, unknown);
    return !unknown && programTableEnd <= size && sectionTableEnd <= size;
}

int unreadBytes(const avr_uart_t* uart) {
    return (uart->input.write + uart_fifo_fifo_size - uart->input.read) & (uart_fifo_fifo_size - 1);
}

} // namespace

AvrUnit::AvrUnit(const Setup& setup)
    : m_setup(setup), m_chip(*setup.model, m_clock, setup.seed),
      m_decoder(setup.emptySocket ? nullptr : &m_chip, m_clock), m_board(setup.supplies),
      m_monitor(m_decoder, m_board) {
    m_decoder.setOwnSupply(setup.supplies.targetPowered);
    m_decoder.onChipDrive = [this](std::uint64_t cycle, int level) { chipDrive(cycle, level); };
    m_decoder.onFrame = [this](const IcspPinDecoder::Frame& frame) {
        m_monitor.frameDecoded(frame);
        if (m_recordFrames)
            m_frames.push_back(frame);
    };
    if (!load())
        m_stopped = true;
}

AvrUnit::~AvrUnit() {
    if (m_avr) {
        avr_terminate(m_avr);
        std::free(m_avr);
    }
}

bool AvrUnit::load() {
    avr_global_logger_set(quietLogger);
    simulatorErrors().clear();
    // A named pipe or a device would block the reading or never end.
    std::error_code unknown;
    const std::filesystem::file_status file = std::filesystem::status(m_setup.firmware, unknown);
    if (std::filesystem::exists(file) && !std::filesystem::is_regular_file(file)) {
        m_error = m_setup.firmware + " is not a regular file, so not an AVR program (ELF)";
        return false;
    }
    if (!std::filesystem::exists(file) || !std::ifstream(m_setup.firmware)) {
        m_error = "cannot read " + m_setup.firmware;
        return false;
    }
    elf_firmware_t firmware{};
    if (!isAvrElf(m_setup.firmware) ||
        elf_read_firmware(m_setup.firmware.c_str(), &firmware) != 0 || firmware.flashsize == 0) {
        m_error = m_setup.firmware + " is not an AVR program (ELF) that the simulator can load";
        return false;
    }
    m_avr = avr_make_mcu_by_name("atmega328p");
    if (!m_avr) {
        m_error = "the simulator has no ATmega328P";
        return false;
    }
    avr_init(m_avr);
    avr_load_firmware(m_avr, &firmware);
    std::free(firmware.flash);
    std::free(firmware.eeprom);
    std::free(firmware.fuse);
    std::free(firmware.lockbits);
    for (std::uint32_t i = 0; i < firmware.symbolcount; ++i)
        std::free(firmware.symbol[i]);
    std::free(firmware.symbol);
    m_avr->frequency = 16000000;
    m_avr->log = LOG_ERROR;
    setRealTime(false);

    // simavr 1.6 polls INT0/INT1 every cycle while their pins are low, even with the
    // interrupts off; the unit uses neither.
    avr_extint_set_strict_lvl_trig(m_avr, 0, 0);
    avr_extint_set_strict_lvl_trig(m_avr, 1, 0);
    // No console echo of the UART, and no usleep() whenever the firmware reads its status.
    std::uint32_t flags = 0;
    avr_ioctl(m_avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~std::uint32_t{AVR_UART_FLAG_STDIO | AVR_UART_FLAG_POLL_SLEEP};
    avr_ioctl(m_avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    m_uart = uartOf(m_avr);

    m_rx = avr_io_getirq(m_avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(m_avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            uartOutput, this);
    m_portCWrite = avr_io_getirq(m_avr, AVR_IOCTL_IOPORT_GETIRQ('C'), IOPORT_IRQ_REG_PORT);
    m_ddrCWrite = avr_io_getirq(m_avr, AVR_IOCTL_IOPORT_GETIRQ('C'), IOPORT_IRQ_DIRECTION_ALL);
    for (const char port : {'C', 'D'}) {
        const auto ioctl = static_cast<std::uint32_t>(AVR_IOCTL_IOPORT_GETIRQ(port));
        avr_irq_register_notify(avr_io_getirq(m_avr, ioctl, IOPORT_IRQ_REG_PORT), portWritten,
                                this);
        avr_irq_register_notify(avr_io_getirq(m_avr, ioctl, IOPORT_IRQ_DIRECTION_ALL),
                                directionWritten, this);
    }
    m_pgdPin = avr_io_getirq(m_avr, AVR_IOCTL_IOPORT_GETIRQ('C'), kPgdBit);
    // The mode jumper J3 pulls PB0 to ground against the firmware's pull-up.
    if (m_setup.supplies.lowVoltage) {
        avr_ioport_external_t jumper{};
        jumper.name = 'B';
        jumper.mask = kModeJumper;
        jumper.value = 0;
        avr_ioctl(m_avr, AVR_IOCTL_IOPORT_SET_EXTERNAL('B'), &jumper);
    }
    // The line runs at the rate the UART's registers give, whatever order the firmware
    // writes them in; libsimavr 1.6 takes U2X only as UBRR is written, and counts a
    // parity bit that the frame does not have.
    for (const avr_io_addr_t address : {kUcsr0a, kUcsr0b, kUcsr0c, kUbrr0l, kUbrr0h})
        avr_irq_register_notify(avr_iomem_getirq(m_avr, address, nullptr, AVR_IOMEM_IRQ_ALL),
                                uartConfigured, this);
    // The sense inputs get their voltages as each conversion starts.
    for (const avr_io_addr_t address : {kAdmux, kAdcsra})
        avr_irq_register_notify(avr_iomem_getirq(m_avr, address, nullptr, AVR_IOMEM_IRQ_ALL),
                                adcConfigured, this);
    avr_irq_register_notify(avr_io_getirq(m_avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_OUT_TRIGGER),
                            adcStarts, this);
    m_vppSense = avr_io_getirq(m_avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC4);
    m_vddSense = avr_io_getirq(m_avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC5);
    drainSimulatorErrors();
    // The unit has been on for a while before anyone talks to it: its start-up, which
    // waits for its ADC reference to settle, is over.
    return runUntil(50 * kCyclesPerMs);
}

void AvrUnit::drainSimulatorErrors() {
    for (const std::string& text : simulatorErrors())
        m_violations.push_back("firmware: the simulator reported: " + text);
    simulatorErrors().clear();
    g_simulatorErrors = false;
}

std::uint64_t AvrUnit::cycle() const {
    return m_avr ? m_avr->cycle : 0;
}

// Start bit, 5 to 9 data bits, a parity bit if enabled, 1 or 2 stop bits; each bit
// (UBRR + 1) × 16 cycles, or × 8 with U2X.
std::uint64_t AvrUnit::byteCycles() const {
    if (!m_avr)
        return 0;
    const std::uint8_t* data = m_avr->data;
    const std::uint64_t rate = data[kUbrr0l] | (data[kUbrr0h] & 0x0Fu) << 8;
    const std::uint64_t cyclesPerBit = (rate + 1) * ((data[kUcsr0a] & 0x02) ? 8 : 16);
    const int size = (data[kUcsr0c] >> 1 & 3) | (data[kUcsr0b] & 0x04);
    const int dataBits = size == 7 ? 9 : size > 3 ? 8 : 5 + size;
    const int parity = (data[kUcsr0c] & 0x20) ? 1 : 0;
    const int stopBits = (data[kUcsr0c] & 0x08) ? 2 : 1;
    return cyclesPerBit * static_cast<std::uint64_t>(1 + dataBits + parity + stopBits);
}

// A rate changed while a byte is still going out garbles it for the program, which
// samples the stop bit in its middle (libsimavr raises TXC a few cycles early).
void AvrUnit::uartConfigured(avr_irq_t*, std::uint32_t, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    const std::uint64_t cycles = unit->byteCycles();
    if (unit->m_uartByteCycles != 0 && cycles != unit->m_uartByteCycles &&
        unit->m_avr->cycle + unit->m_uartByteCycles / 20 < unit->m_sendingUntil)
        unit->m_violations.push_back("firmware: the UART's rate changed at cycle " +
                                     std::to_string(unit->m_avr->cycle) + " while byte " +
                                     std::to_string(unit->m_lastSent) + " was still going out");
    unit->m_uartByteCycles = cycles;
    static_cast<avr_uart_t*>(unit->m_uart)->cycles_per_byte = static_cast<std::uint32_t>(cycles);
}

// The reference is on while the ADC is enabled with the internal 1.1 V selected; while it
// is off, the capacitor on AREF keeps its charge.
void AvrUnit::settleReference() {
    const std::uint64_t now = m_avr->cycle;
    if (m_referenceOn)
        m_referenceCharged += now - m_referenceSince;
    m_referenceSince = now;
}

void AvrUnit::adcConfigured(avr_irq_t*, std::uint32_t, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    unit->settleReference();
    const std::uint8_t* data = unit->m_avr->data;
    unit->m_referenceOn = (data[kAdmux] & 0xC0) == 0xC0 && (data[kAdcsra] & 0x80) != 0;
}

// A reference still charging makes every reading too high: the voltage libsimavr gets is
// scaled so that its conversion against 1.1 V gives what the real one would.
std::uint32_t AvrUnit::senseInput(int millivolts) const {
    const double charged =
        1.0 - std::exp(-static_cast<double>(m_referenceCharged) / kReferenceRiseCycles);
    if (charged > 1.0 - 1e-9)
        return static_cast<std::uint32_t>(millivolts);
    const double reference = std::max(charged * kSimulatorReference, 1.0);
    return static_cast<std::uint32_t>(std::min(millivolts * kSimulatorReference / reference, 1e6));
}

void AvrUnit::adcStarts(avr_irq_t*, std::uint32_t, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    unit->settleReference();
    unit->m_monitor.measuring(unit->m_avr->cycle, kConversionCycles);
    avr_raise_irq(unit->m_vppSense, unit->senseInput(unit->m_board.vppSenseMillivolts()));
    avr_raise_irq(unit->m_vddSense,
                  unit->senseInput(unit->m_board.vddSenseMillivolts(unit->m_avr->cycle)));
}

void AvrUnit::setRealTime(bool on) {
    if (m_avr)
        m_avr->sleep = on ? avr_callback_sleep_raw : noSleep;
}

void AvrUnit::setPoll(std::uint64_t cycles, std::function<void()> poll) {
    m_poll = std::move(poll);
    m_pollCycles = cycles;
    if (m_avr)
        avr_cycle_timer_register(m_avr, cycles, pollTick, this);
}

std::uint64_t AvrUnit::pollTick(avr_t*, std::uint64_t when, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    if (unit->m_poll)
        unit->m_poll();
    return when + unit->m_pollCycles;
}

void AvrUnit::writeVcd(std::ostream& out) {
    m_vcd = std::make_unique<VcdWriter>(out);
    m_vcd->change(cycle(), m_decoder.nets(), m_chipLevel);
}

bool AvrUnit::step() {
    if (m_stopped)
        return false;
    const int state = avr_run(m_avr);
    if (g_simulatorErrors)
        drainSimulatorErrors();
    if (state == cpu_Done || state == cpu_Crashed) {
        m_violations.push_back(state == cpu_Crashed
                                   ? "firmware: the AVR crashed at cycle " +
                                         std::to_string(m_avr->cycle)
                                   : "firmware: the AVR went to sleep with interrupts off at "
                                     "cycle " +
                                         std::to_string(m_avr->cycle) + " and can never wake up");
        m_stopped = true;
        return false;
    }
    return true;
}

bool AvrUnit::runUntil(std::uint64_t cycle) {
    m_paused = false;
    while (!m_stopped && !m_paused && m_avr->cycle < cycle)
        step();
    return !m_stopped;
}

// The serial line: one byte per byte time into the UART, which takes a byte time more to
// receive it. A real ATmega328P holds two received bytes and the one it is receiving;
// simavr holds 63, so a firmware that falls behind is caught here. A byte counts as unread
// from the start of its reception.
void AvrUnit::send(std::uint8_t byte) {
    ++m_hostBytes;
    if (m_hostBytes == m_setup.dropByte) {
        m_monitor.byteLost();
        return;
    }
    const std::uint16_t value = m_hostBytes == m_setup.garbleByte ? UART_INPUT_FE | byte : byte;
    if (rateMismatch()) {
        if (m_hostBytes == m_setup.garbleByte)
            m_monitor.byteLost();
        const std::uint64_t start = std::max(m_lineFree, cycle());
        m_line.emplace_back(start, value);
        m_lineFree = start + 10 * hostBitCycles();
        scheduleLine();
        return;
    }
    m_wire.push_back(value);
    if (!m_wireRunning && m_avr) {
        m_wireRunning = true;
        avr_cycle_timer_register(m_avr, 1, wireTick, this);
    }
}

std::uint64_t AvrUnit::wireTick(avr_t* avr, std::uint64_t when, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    if (unit->m_wire.empty()) {
        unit->m_wireRunning = false;
        return 0;
    }
    const auto* uart = static_cast<const avr_uart_t*>(unit->m_uart);
    // Two bytes in the receive buffer and one in the shift register: the start bit of
    // another overruns them.
    if (unreadBytes(uart) > 2)
        unit->m_violations.push_back(
            "firmware: " + std::to_string(unreadBytes(uart)) +
            " received bytes still unread as another came in: a real UART loses it (cycle " +
            std::to_string(avr->cycle) + ")");
    const std::uint16_t byte = unit->m_wire.front();
    unit->m_wire.pop_front();
    avr_raise_irq(unit->m_rx, byte);
    if (byte & UART_INPUT_FE)
        unit->m_monitor.garbledToUnit(avr->cycle + uart->cycles_per_byte);
    else
        unit->m_monitor.byteToUnit(avr->cycle + uart->cycles_per_byte,
                                   static_cast<std::uint8_t>(byte));
    return when + uart->cycles_per_byte;
}

void AvrUnit::setHostBaud(std::uint32_t baud) {
    m_hostBaud = baud;
    m_lineFree = std::max(m_lineFree, cycle());
}

std::uint64_t AvrUnit::unitBitCycles() const {
    return std::max<std::uint64_t>(byteCycles() / 10, 1);
}

std::uint64_t AvrUnit::hostBitCycles() const {
    return m_hostBaud == 0 ? unitBitCycles() : std::max<std::uint64_t>(16000000 / m_hostBaud, 1);
}

bool AvrUnit::rateMismatch() const {
    if (m_hostBaud == 0 || !m_avr)
        return false;
    const double host = 16e6 / m_hostBaud;
    const double unit = static_cast<double>(byteCycles()) / 10;
    return host > unit * 1.02 || host < unit / 1.02;
}

// The host's waveform: idle high; each byte a low start bit, 8 data bits least significant
// first and a stop bit (low for a byte sent garbled).
int AvrUnit::lineLevel(std::uint64_t at) const {
    const std::uint64_t bit = hostBitCycles();
    for (const auto& [start, value] : m_line) {
        if (at < start)
            return 1;
        const std::uint64_t index = (at - start) / bit;
        if (index >= 10)
            continue;
        if (index == 0)
            return 0;
        if (index == 9)
            return (value & UART_INPUT_FE) ? 0 : 1;
        return (value >> (index - 1)) & 1;
    }
    return 1;
}

// The first fall from high to low at or after `from` among the bytes on the line.
bool AvrUnit::nextFallingEdge(std::uint64_t from, std::uint64_t& edge) const {
    const std::uint64_t bit = hostBitCycles();
    for (const auto& [start, value] : m_line) {
        for (std::uint64_t index = 0; index < 10; ++index) {
            const std::uint64_t at = start + index * bit;
            if (at < from)
                continue;
            const int before = index == 0 ? 1 : lineLevel(at - 1);
            if (before == 1 && lineLevel(at) == 0) {
                edge = at;
                return true;
            }
        }
    }
    return false;
}

// The UART's receiver: from a falling edge, the start bit sampled half a bit in, the data
// bits and the stop bit a bit apart; a frame ends at its stop bit's sample.
void AvrUnit::scheduleLine() {
    if (m_lineScheduled || !m_avr)
        return;
    std::uint64_t edge = 0;
    if (!nextFallingEdge(m_receiverFrom, edge))
        return;
    const std::uint64_t stopSample = edge + unitBitCycles() * 19 / 2;
    m_lineScheduled = true;
    avr_cycle_timer_register(m_avr, stopSample > cycle() ? stopSample - cycle() : 1, lineTick,
                             this);
}

std::uint64_t AvrUnit::lineTick(avr_t*, std::uint64_t, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    unit->m_lineScheduled = false;
    std::uint64_t edge = 0;
    if (!unit->nextFallingEdge(unit->m_receiverFrom, edge))
        return 0;
    const std::uint64_t bit = unit->unitBitCycles();
    if (unit->lineLevel(edge + bit / 2) != 0) {
        unit->m_receiverFrom = edge + bit / 2; // a glitch, not a start bit
    } else {
        std::uint16_t value = 0;
        for (std::uint64_t index = 0; index < 8; ++index)
            value = static_cast<std::uint16_t>(
                value | unit->lineLevel(edge + bit * (2 * index + 3) / 2) << index);
        const std::uint64_t stopSample = edge + bit * 19 / 2;
        if (unit->lineLevel(stopSample) == 0)
            value |= UART_INPUT_FE;
        unit->m_receiverFrom = stopSample;
        unit->receiveFromLine(value, stopSample);
    }
    while (!unit->m_line.empty() &&
           unit->m_line.front().first + 10 * unit->hostBitCycles() <= unit->m_receiverFrom)
        unit->m_line.pop_front();
    unit->scheduleLine();
    return 0;
}

void AvrUnit::receiveFromLine(std::uint16_t value, std::uint64_t at) {
    avr_raise_irq(m_rx, value);
    const auto* uart = static_cast<const avr_uart_t*>(m_uart);
    if (value & UART_INPUT_FE)
        m_monitor.garbledToUnit(at + uart->cycles_per_byte);
    else
        m_monitor.byteToUnit(at + uart->cycles_per_byte, static_cast<std::uint8_t>(value));
}

void AvrUnit::uartOutput(avr_irq_t*, std::uint32_t value, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    const auto byte = static_cast<std::uint8_t>(value);
    unit->m_sendingUntil = unit->m_avr->cycle + unit->byteCycles();
    unit->m_lastSent = byte;
    unit->m_monitor.byteFromUnit(unit->m_avr->cycle, byte);
    if (unit->onByte)
        unit->onByte(byte);
}

// In the hook of a DDR write the register still holds the old value; in that of a PORT
// write it holds the new one.
void AvrUnit::portWritten(avr_irq_t* irq, std::uint32_t value, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    AvrPort& port = irq == unit->m_portCWrite ? unit->m_portC : unit->m_portD;
    port.port = static_cast<std::uint8_t>(value);
    unit->linesChanged();
}

void AvrUnit::directionWritten(avr_irq_t* irq, std::uint32_t value, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    AvrPort& port = irq == unit->m_ddrCWrite ? unit->m_portC : unit->m_portD;
    port.ddr = static_cast<std::uint8_t>(value);
    unit->linesChanged();
}

void AvrUnit::linesChanged() {
    const std::uint64_t now = m_avr->cycle;
    const IcspNets before = m_decoder.nets();
    const IcspNets nets = m_board.nets(m_portC, m_portD, now);
    if (nets == before)
        return;
    m_decoder.netsChanged(now, nets);
    m_monitor.pinsChanged(now);
    // An undriven PGD falls to its pull-down.
    if (!nets.pgdDriven && m_chipLevel < 0)
        avr_raise_irq(m_pgdPin, 0);
    if (m_vcd)
        m_vcd->change(now, nets, m_chipLevel);
}

void AvrUnit::chipDrive(std::uint64_t cycle, int level) {
    if (cycle <= m_avr->cycle) {
        applyDrive(level);
        return;
    }
    m_drives.emplace_back(cycle, level);
    if (m_drives.size() == 1)
        avr_cycle_timer_register(m_avr, cycle - m_avr->cycle, driveTick, this);
}

std::uint64_t AvrUnit::driveTick(avr_t* avr, std::uint64_t, void* self) {
    auto* unit = static_cast<AvrUnit*>(self);
    while (!unit->m_drives.empty() && unit->m_drives.front().first <= avr->cycle) {
        const int level = unit->m_drives.front().second;
        unit->m_drives.pop_front();
        unit->applyDrive(level);
    }
    return unit->m_drives.empty() ? 0 : unit->m_drives.front().first;
}

void AvrUnit::applyDrive(int level) {
    m_chipLevel = level;
    // Released, PGD falls to its pull-down unless the firmware drives it.
    if (level >= 0 || !m_decoder.nets().pgdDriven)
        avr_raise_irq(m_pgdPin, level > 0 ? 1 : 0);
    if (m_vcd)
        m_vcd->change(m_avr->cycle, m_decoder.nets(), m_chipLevel);
}

void AvrUnit::finish(bool allowPowered) {
    const std::uint64_t now = cycle();
    m_decoder.finish(now);
    if (m_monitor.repliesDue() > 0)
        m_violations.emplace_back("firmware: the last command got no reply");
    if (!allowPowered && m_decoder.targetPowered())
        m_violations.emplace_back(
            "left powered: voltages still applied when the program ended (VDD or VPP on)");
    drainSimulatorErrors();
}

std::vector<std::string> AvrUnit::violations() const {
    std::vector<std::string> all;
    for (const std::string& text : m_board.violations())
        all.push_back("circuit: " + text);
    for (const std::string& text : m_decoder.violations())
        all.push_back("pins: " + text);
    for (const std::string& text : m_chip.violations())
        all.push_back("chip: " + text);
    for (const std::string& text : m_monitor.violations())
        all.push_back("serial line: " + text);
    all.insert(all.end(), m_violations.begin(), m_violations.end());
    return all;
}

} // namespace tessaline::pinlevel
