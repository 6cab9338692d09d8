// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pic18_chip.hpp"

#include <bit>
#include <cstdio>

namespace tessaline::sim {

namespace {

// Access-bank addresses of the special function registers that programming uses.
constexpr std::uint8_t kTblptrU = 0xF8;
constexpr std::uint8_t kTblptrH = 0xF7;
constexpr std::uint8_t kTblptrL = 0xF6;
constexpr std::uint8_t kTablat = 0xF5;
constexpr std::uint8_t kWreg = 0xE8;
constexpr std::uint8_t kEecon1 = 0xA6;
constexpr std::uint8_t kEecon2 = 0xA7;
constexpr std::uint8_t kEedata = 0xA8;
constexpr std::uint8_t kEeadr = 0xA9;
constexpr std::uint8_t kEeadrh = 0xAA;

// EECON1 bits.
constexpr std::uint8_t kEepgd = 0x80;
constexpr std::uint8_t kCfgs = 0x40;
constexpr std::uint8_t kFree = 0x10;
constexpr std::uint8_t kWren = 0x04;
constexpr std::uint8_t kWr = 0x02;
constexpr std::uint8_t kRd = 0x01;

// Configuration bytes that hold the boot block size and the protection bits: CONFIG5L has
// CPn in bit n, CONFIG5H CPB and CPD, CONFIG6L WRTn, CONFIG6H WRTC, WRTB and WRTD.
constexpr std::size_t kConfig4L = 6;
constexpr std::size_t kConfig5L = 8;
constexpr std::size_t kConfig5H = 9;
constexpr std::size_t kConfig6L = 10;
constexpr std::size_t kConfig6H = 11;
constexpr std::uint8_t kCpb = 0x40;
constexpr std::uint8_t kCpd = 0x80;
constexpr std::uint8_t kWrtc = 0x20;
constexpr std::uint8_t kWrtb = 0x40;
constexpr std::uint8_t kWrtd = 0x80;
// The CP, WRT and EBTR bits: once programmed to 0, only a bulk erase sets them again.
constexpr std::array<std::uint8_t, 14> kProtectionBits{0, 0,    0,    0,    0,    0,    0,
                                                       0, 0xFF, 0xC0, 0xFF, 0xE0, 0xFF, 0x40};

constexpr std::uint32_t kIdFirst = 0x200000;
constexpr std::uint32_t kIdLast = 0x200007;
constexpr std::uint32_t kConfigFirst = 0x300000;
constexpr std::uint32_t kConfigLast = 0x30000F;
constexpr std::uint32_t kEraseLow = 0x3C0004;
constexpr std::uint32_t kEraseHigh = 0x3C0005;
constexpr std::uint32_t kPanelMode = 0x3C0006;
constexpr std::uint32_t kDeviceIdLow = 0x3FFFFE;
constexpr std::uint32_t kDeviceIdHigh = 0x3FFFFF;
constexpr std::uint32_t kAddressMask = 0x3FFFFF;
constexpr std::uint32_t kPanelSize = 0x2000; // FXX2 code panels of 8 KB
constexpr std::uint8_t kRevision = 0x03;     // the silicon revision the chip reports

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*XH", digits, value);
    return text;
}

std::string millis(std::int64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g ms", static_cast<double>(micros) / 1000.0);
    return text;
}

bool isValidCommand(int command) {
    return command == 0x0 || command == 0x2 || command >= 0x8;
}

} // namespace

Pic18Chip::Pic18Chip(const ChipModel& model, SimClock& clock, std::uint32_t seed)
    : flash(static_cast<std::size_t>(model.flashSize), 0xFF),
      eeprom(static_cast<std::size_t>(model.eepromSize), 0xFF), m_model(model), m_clock(clock),
      m_timing(timingOf(model.family)), m_random(seed) {
    const std::size_t panels =
        model.family == Family::FXX2 && model.flashSize > static_cast<std::int32_t>(kPanelSize)
            ? static_cast<std::size_t>(model.flashSize) / kPanelSize
            : 1;
    m_buffers.resize(panels);
    for (WriteBuffer& buffer : m_buffers)
        buffer.data.assign(static_cast<std::size_t>(model.writeBuffer), 0xFF);
    erase();
}

void Pic18Chip::fillWithPattern(std::uint8_t seed) {
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<std::uint8_t>(seed + i * 29);
    for (std::size_t i = 0; i < eeprom.size(); ++i)
        eeprom[i] = static_cast<std::uint8_t>(seed + 7 + i * 13);
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = static_cast<std::uint8_t>(seed + i);
    for (std::size_t k = 0; k < config.size(); ++k)
        config[k] = static_cast<std::uint8_t>(((seed * 3 + k * 11) | kProtectionBits[k]) &
                                              m_model.configMask[k]);
}

void Pic18Chip::erase() {
    flash.assign(flash.size(), 0xFF);
    eeprom.assign(eeprom.size(), 0xFF);
    ids.fill(0xFF);
    config = m_model.configErased;
}

std::uint16_t Pic18Chip::reportedDeviceId() const {
    return static_cast<std::uint16_t>(m_model.deviceId | (kRevision & ~m_model.deviceIdMask));
}

void Pic18Chip::violation(const std::string& text) {
    m_violations.push_back(text);
}

void Pic18Chip::powerUp(bool vddFirst) {
    if (m_powered)
        violation("programming voltages applied again while the chip is already powered");
    if (!vddFirst && m_model.family != Family::K20 && m_model.family != Family::K22)
        violation("VPP before VDD is not a documented program-mode entry for the " +
                  std::string(familyName(m_model.family)) + " family");
    m_powered = true;
    m_w = 0;
    m_tblptr = 0;
    m_tablat = 0;
    // EECON1's EEPGD and CFGS are not defined after power-up, nor is the FXX2 panel mode:
    // a sequence has to set them before it relies on them.
    const auto undefined = static_cast<std::uint32_t>(m_random());
    m_eecon1 = static_cast<std::uint8_t>(undefined & (kEepgd | kCfgs));
    m_multiPanel = m_model.family == Family::FXX2 && (undefined & 0x100) != 0;
    m_eedata = 0;
    m_eeadr = 0;
    m_eeadrh = 0;
    m_gotoSecondWord = false;
    m_lastWasInstruction = false;
    for (WriteBuffer& buffer : m_buffers) {
        buffer.data.assign(buffer.data.size(), 0xFF);
        buffer.loadedWords = 0;
        buffer.row = -1;
    }
    m_armed = Armed::None;
    m_erase = EraseState::Idle;
    m_eraseHigh = 0;
    m_eepromStartsIn = 0;
}

void Pic18Chip::powerDown() {
    finishTimedWork();
    if (m_eepromStartsIn > 0)
        violation("power removed before the requested data EEPROM write started");
    if (m_eepromBusy)
        violation("power removed while a data EEPROM write was still running");
    if (m_erase == EraseState::Keyed || m_erase == EraseState::NopDone)
        violation("power removed before the bulk erase started; the chip keeps its contents");
    if (m_erase == EraseState::Running)
        violation("power removed during the bulk erase hold time");
    if (m_armed != Armed::None)
        violation("power removed after a start-programming write without its programming pulse");
    m_eepromStartsIn = 0;
    m_eepromBusy = false;
    m_erase = EraseState::Idle;
    m_armed = Armed::None;
    m_powered = false;
}

void Pic18Chip::commandCut(int command) {
    if (!m_powered)
        return;
    finishTimedWork();
    if (m_eepromStartsIn > 0 && --m_eepromStartsIn == 0)
        startEepromWrite();
    // The unit holds PGD low when it pulls MCLR down, as the erase wants it.
    if (m_erase == EraseState::NopDone && command == 0x0)
        startBulkErase(0);
}

void Pic18Chip::finishTimedWork() {
    const std::int64_t now = m_clock.nowMicros();
    if (m_eepromBusy && now >= m_eepromWriteEnd) {
        eeprom[static_cast<std::size_t>(m_eepromWriteAddress)] = m_eepromWriteValue;
        m_eepromBusy = false;
    }
    if (m_erase == EraseState::Running && now >= m_eraseBusyUntil)
        m_erase = EraseState::Idle;
}

// Everything that happens on the first clocks of a command, before it does its own work.
// False when the command does nothing further.
bool Pic18Chip::beginCommand(Kind kind, int command, std::uint16_t operand) {
    const char* what = kind == Kind::Pulse  ? "a programming pulse"
                       : kind == Kind::Read ? "a read"
                                            : "a command";
    if (!m_powered) {
        violation(std::string(what) + " before the programming voltages were applied");
        return false;
    }
    finishTimedWork();
    const std::string name = kind == Kind::Pulse ? std::string("the programming pulse")
                             : kind == Kind::Core
                                 ? "core instruction " + hex(operand, 4)
                                 : "command " + hex(static_cast<std::uint32_t>(command), 1);

    // A data EEPROM write starts on the 4th clock of a command after WR was set.
    if (m_eepromStartsIn > 0 && --m_eepromStartsIn == 0)
        startEepromWrite();
    // The X220 family documents no polling: it takes no serial commands while a data
    // EEPROM write runs.
    if (m_model.family == Family::X220 && m_eepromBusy) {
        if (kind == Kind::Core && operand == 0)
            return false;
        violation(name + " ignored: the " + std::string(familyName(m_model.family)) +
                  " family takes no commands during a data EEPROM write (P11 " +
                  millis(m_timing.eepromWrite) + ")");
        return false;
    }
    if (!eraseStep(kind, command, operand))
        return false;
    if (m_armed != Armed::None && kind != Kind::Pulse) {
        violation("a start-programming table write was followed by " + name +
                  " instead of the programming pulse");
        m_armed = Armed::None;
    }
    m_lastWasInstruction = false;
    return true;
}

// The bulk erase: key, a NOP, then a command with PGD held low on whose 4th clock the
// erase starts; its operand clocks must carry 0, and nothing else may come until P11 and
// P10 have passed. False when the command was the one that started the erase.
bool Pic18Chip::eraseStep(Kind kind, int command, std::uint16_t operand) {
    const bool nop = (kind == Kind::Core && operand == 0) || kind == Kind::Pulse;
    switch (m_erase) {
    case EraseState::Idle:
        return true;
    case EraseState::Keyed:
        if (nop) {
            m_erase = EraseState::NopDone;
        } else {
            violation("the bulk erase key was followed by " +
                      (kind == Kind::Core
                           ? "core instruction " + hex(operand, 4)
                           : "command " + hex(static_cast<std::uint32_t>(command), 1)) +
                      " instead of a NOP; no erase starts");
            m_erase = EraseState::Idle;
        }
        return true;
    case EraseState::NopDone:
        if (kind == Kind::Core || kind == Kind::Pulse) {
            startBulkErase(kind == Kind::Core ? operand : 0);
            return false;
        }
        violation("command " + hex(static_cast<std::uint32_t>(command), 1) +
                  " after the bulk erase NOP: the erase starts only with PGD held low through a "
                  "core command; no erase starts");
        m_erase = EraseState::Idle;
        return true;
    case EraseState::Running:
        violation(std::string(kind == Kind::Pulse ? "a programming pulse" : "a command") + " " +
                  millis(m_eraseBusyUntil - m_clock.nowMicros()) +
                  " before the bulk erase hold time (P11 " + millis(m_timing.bulkErase) +
                  " + P10) ended");
        return true;
    }
    return true;
}

void Pic18Chip::startBulkErase(std::uint16_t operand) {
    if (operand != 0)
        violation("operand " + hex(operand, 4) +
                  " clocked in while the bulk erase ran: PGD must stay low until it ends");
    erase();
    m_erase = EraseState::Running;
    m_eraseBusyUntil = m_clock.nowMicros() + m_timing.bulkErase + m_timing.discharge;
}

void Pic18Chip::transfer(int command, std::uint16_t operand) {
    const Kind kind = command == 0x0 ? Kind::Core : command >= 0xC ? Kind::TableWrite : Kind::Read;
    if (!beginCommand(kind, command, operand))
        return;
    if (!isValidCommand(command)) {
        violation("4-bit command " + hex(static_cast<std::uint32_t>(command), 1) +
                  " is not an ICSP command");
        return;
    }
    const bool olderFamily = m_model.family == Family::FXX2 || m_model.family == Family::X220;
    switch (command) {
    case 0x0:
        execute(operand);
        break;
    case 0xC:
        tableWrite(operand, 0, false);
        break;
    case 0xD:
        tableWrite(operand, 2, false);
        break;
    case 0xE:
        // Post-decrement on the older families; write and start programming, post-increment,
        // on the newer ones.
        if (olderFamily)
            tableWrite(operand, -2, false);
        else
            tableWrite(operand, 2, true);
        break;
    case 0xF:
        tableWrite(operand, 0, true);
        break;
    default:
        violation("command " + hex(static_cast<std::uint32_t>(command), 1) +
                  " shifts data out of the chip but was given an operand");
        break;
    }
}

std::uint8_t Pic18Chip::readTransfer(int command) {
    const bool afterInstruction = m_lastWasInstruction;
    const std::uint8_t tablatBefore = m_tablatBeforeInstruction;
    if (!beginCommand(Kind::Read, command, 0))
        return 0;
    const bool pipelined = m_model.family != Family::FXX2 && m_model.family != Family::X220;
    switch (command) {
    case 0x2:
        return pipelined && afterInstruction ? tablatBefore : m_tablat;
    case 0x8:
        return tableRead(m_tblptr);
    case 0x9: {
        const std::uint8_t value = tableRead(m_tblptr);
        m_tblptr = incrementedForRead(m_tblptr);
        return value;
    }
    case 0xA: {
        const std::uint8_t value = tableRead(m_tblptr);
        m_tblptr = (m_tblptr - 1) & kAddressMask;
        return value;
    }
    case 0xB:
        m_tblptr = incrementedForRead(m_tblptr);
        return tableRead(m_tblptr);
    default:
        violation("command " + hex(static_cast<std::uint32_t>(command), 1) +
                  " shifts no data out, but the unit read a byte");
        return 0;
    }
}

// On a 64 KB part of the 2XXX family, a read that increments TBLPTR past FFFFh wraps it to
// 000000h rather than into the unimplemented 010000h (DS39622L section 4.2).
std::uint32_t Pic18Chip::incrementedForRead(std::uint32_t pointer) const {
    if (m_model.family == Family::F2XXX && m_model.flashSize == 0x10000 && pointer == 0xFFFF)
        return 0;
    return (pointer + 1) & kAddressMask;
}

void Pic18Chip::programmingPulse(std::int64_t micros) {
    if (!beginCommand(Kind::Pulse, 0, 0))
        return;
    if (m_armed == Armed::Code) {
        if (micros < m_timing.codePulse)
            violation("programming pulse of " + millis(micros) + " is shorter than P9 (" +
                      millis(m_timing.codePulse) + ")");
        programCode();
    } else if (m_armed == Armed::Config) {
        if (micros < m_timing.configPulse)
            violation("configuration programming pulse of " + millis(micros) +
                      " is shorter than the " + millis(m_timing.configPulse) +
                      " this family needs");
        programConfig();
    }
    m_armed = Armed::None;
}

void Pic18Chip::execute(std::uint16_t word) {
    if (m_gotoSecondWord) {
        m_gotoSecondWord = false;
        if ((word & 0xF000) != 0xF000)
            violation("the second word of a two-word instruction was " + hex(word, 4));
        return;
    }
    if (word == 0x0000)
        return;
    m_lastWasInstruction = true;
    m_tablatBeforeInstruction = m_tablat;
    const auto high = static_cast<std::uint8_t>(word >> 8);
    const auto file = static_cast<std::uint8_t>(word & 0xFF);
    if (high == 0x0E) { // MOVLW
        m_w = file;
        return;
    }
    if (high == 0xEF) { // GOTO, first word
        m_gotoSecondWord = true;
        return;
    }
    // Byte-oriented instructions with the access bank (a = 0) on SFRs only.
    const bool accessSfr = file >= 0x80;
    auto needsSfr = [&](const char* name) {
        if ((high & 0x01) != 0 || !accessSfr) {
            violation(std::string(name) + " " + hex(word, 4) +
                      " uses a register the programming interface does not reach");
            return false;
        }
        return true;
    };
    if (high == 0x6E) { // MOVWF f
        if (needsSfr("MOVWF"))
            writeRegister(file, m_w);
        return;
    }
    if (high == 0x6A) { // CLRF f
        if (needsSfr("CLRF"))
            writeRegister(file, 0);
        return;
    }
    if (high == 0x68) { // SETF f
        if (needsSfr("SETF"))
            writeRegister(file, 0xFF);
        return;
    }
    if (high == 0x50) { // MOVF f, W
        if (needsSfr("MOVF"))
            m_w = readRegister(file);
        return;
    }
    if (high == 0x2A) { // INCF f, F
        if (needsSfr("INCF"))
            writeRegister(file, static_cast<std::uint8_t>(readRegister(file) + 1));
        return;
    }
    if ((high & 0xE0) == 0x80) { // BSF (100x) and BCF (1001)
        const bool set = (high & 0xF0) == 0x80;
        if (!needsSfr(set ? "BSF" : "BCF"))
            return;
        const auto bit = static_cast<std::uint8_t>(1u << ((high >> 1) & 0x07));
        if (file == kEecon1) {
            if (set)
                setEecon1Bits(bit);
            else if (bit != kWr && bit != kRd) // WR and RD are cleared by hardware only
                m_eecon1 = static_cast<std::uint8_t>(m_eecon1 & ~bit);
            return;
        }
        const std::uint8_t value = readRegister(file);
        writeRegister(file, set ? static_cast<std::uint8_t>(value | bit)
                                : static_cast<std::uint8_t>(value & ~bit));
        return;
    }
    violation("core instruction " + hex(word, 4) + " is not one that programming uses");
}

std::uint8_t Pic18Chip::readRegister(std::uint8_t file) {
    switch (file) {
    case kTblptrU:
        return static_cast<std::uint8_t>((m_tblptr >> 16) & 0x3F);
    case kTblptrH:
        return static_cast<std::uint8_t>(m_tblptr >> 8);
    case kTblptrL:
        return static_cast<std::uint8_t>(m_tblptr);
    case kTablat:
        return m_tablat;
    case kWreg:
        return m_w;
    case kEecon1:
        finishTimedWork();
        return static_cast<std::uint8_t>(m_eecon1 |
                                         (m_eepromBusy || m_eepromStartsIn > 0 ? kWr : 0));
    case kEedata:
        return m_eedata;
    case kEeadr:
        return m_eeadr;
    case kEeadrh:
        return m_eeadrh;
    default:
        violation("register " + hex(0xF00u | file, 3) + " is not one that programming uses");
        return 0;
    }
}

void Pic18Chip::writeRegister(std::uint8_t file, std::uint8_t value) {
    const bool busy = m_eepromBusy || m_eepromStartsIn > 0;
    switch (file) {
    case kTblptrU:
        m_tblptr = (m_tblptr & 0x00FFFF) | (static_cast<std::uint32_t>(value & 0x3F) << 16);
        return;
    case kTblptrH:
        m_tblptr = (m_tblptr & 0x3F00FF) | (static_cast<std::uint32_t>(value) << 8);
        return;
    case kTblptrL:
        m_tblptr = (m_tblptr & 0x3FFF00) | value;
        return;
    case kTablat:
        m_tablat = value;
        return;
    case kWreg:
        m_w = value;
        return;
    case kEecon1:
        m_eecon1 = static_cast<std::uint8_t>(value & ~(kWr | kRd));
        setEecon1Bits(static_cast<std::uint8_t>(value & (kWr | kRd)));
        return;
    case kEecon2:
        // The 55h/AAh unlock: accepted, and not required in programming mode.
        return;
    case kEedata:
    case kEeadr:
    case kEeadrh:
        if (busy)
            violation("data EEPROM address or data changed while a write was running");
        (file == kEedata ? m_eedata : file == kEeadr ? m_eeadr : m_eeadrh) = value;
        return;
    default:
        violation("register " + hex(0xF00u | file, 3) + " is not one that programming uses");
        return;
    }
}

std::int32_t Pic18Chip::eepromAddress() const {
    const std::int32_t address = (m_eeadrh << 8) | m_eeadr;
    return m_model.eepromSize > 0 ? address % m_model.eepromSize : 0;
}

void Pic18Chip::setEecon1Bits(std::uint8_t bits) {
    if (bits & kRd) {
        if (m_eecon1 & (kEepgd | kCfgs))
            violation("EECON1.RD with EEPGD or CFGS set: program memory reads by RD are not "
                      "part of programming");
        else if (m_model.eepromSize == 0)
            violation("data EEPROM read on a chip without data EEPROM");
        else
            // CPD = 0 hides the data EEPROM from the programming interface.
            m_eedata = protectedBy(kConfig5H, kCpd)
                           ? 0x00
                           : eeprom[static_cast<std::size_t>(eepromAddress())];
    }
    if (bits & kWr) {
        if (m_eecon1 & (kEepgd | kCfgs))
            violation(m_eecon1 & kFree ? "row erase through EECON1 is not modelled"
                                       : "self-timed program memory writes through EECON1 are "
                                         "not part of programming");
        else
            requestEepromWrite();
    }
    m_eecon1 = static_cast<std::uint8_t>(m_eecon1 | (bits & ~(kWr | kRd)));
}

void Pic18Chip::requestEepromWrite() {
    finishTimedWork();
    if (!(m_eecon1 & kWren)) {
        violation("data EEPROM write without EECON1.WREN set");
        return;
    }
    if (m_model.eepromSize == 0) {
        violation("data EEPROM write on a chip without data EEPROM");
        return;
    }
    if (m_eepromBusy || m_eepromStartsIn > 0) {
        violation("data EEPROM write started while the previous one was still running");
        return;
    }
    // The write begins on the falling edge of the 4th clock after WR is set: in the next
    // command, or on the K20 and K22 parts in the one after it (the 24th clock).
    m_eepromStartsIn = m_model.family == Family::K20 || m_model.family == Family::K22 ? 2 : 1;
    m_eepromWriteAddress = eepromAddress();
    m_eepromWriteValue = m_eedata;
}

void Pic18Chip::startEepromWrite() {
    if (protectedBy(kConfig6H, kWrtd)) {
        violation("data EEPROM write at " +
                  hex(0xF00000u + static_cast<std::uint32_t>(m_eepromWriteAddress), 6) +
                  " does nothing: WRTD write-protects the data EEPROM");
        return;
    }
    m_eepromBusy = true;
    m_eepromWriteEnd = m_clock.nowMicros() + m_timing.eepromWrite;
}

std::size_t Pic18Chip::bufferIndex(std::uint32_t address) const {
    if (m_buffers.size() > 1 && address < flash.size())
        return address / kPanelSize;
    return 0;
}

void Pic18Chip::tableWrite(std::uint16_t operand, int increment, bool startProgramming) {
    const std::uint32_t address = m_tblptr & kAddressMask;
    const auto low = static_cast<std::uint8_t>(operand & 0xFF);
    const auto high = static_cast<std::uint8_t>(operand >> 8);
    const bool odd = (address & 1) != 0;
    if (address >= kEraseLow && address <= kPanelMode) {
        if (startProgramming)
            violation("start-programming table write to the erase control at " + hex(address, 6));
        eraseRegisterWrite(address, odd ? high : low);
    } else if (address < flash.size() || (address >= kIdFirst && address <= kIdLast)) {
        if ((m_eecon1 & kEepgd) == 0 || (m_eecon1 & kCfgs) != 0)
            violation("code write at " + hex(address, 6) +
                      " with EECON1 not set for program memory (EEPGD = 1, CFGS = 0)");
        const std::uint32_t base = address & ~1u;
        WriteBuffer& buffer = m_buffers[bufferIndex(base)];
        const auto size = static_cast<std::uint32_t>(buffer.data.size());
        const std::int64_t row = base & ~(size - 1);
        if (buffer.row >= 0 && row != buffer.row)
            violation("write buffer loaded for " + hex(static_cast<std::uint32_t>(buffer.row), 6) +
                      " and then written at " + hex(base, 6));
        buffer.row = row;
        const std::uint32_t at = base % size;
        buffer.data[at] = low;
        buffer.data[at + 1] = high;
        buffer.loadedWords |= std::uint64_t{1} << (at / 2);
        if (startProgramming)
            m_armed = Armed::Code;
    } else if (address >= kConfigFirst && address <= kConfigLast) {
        if ((m_eecon1 & kCfgs) == 0)
            violation("configuration write at " + hex(address, 6) + " with EECON1.CFGS clear");
        if (!startProgramming)
            violation("configuration byte at " + hex(address, 6) +
                      " written without starting programming");
        m_configAddress = address;
        m_configValue = odd ? high : low;
        if (startProgramming)
            m_armed = Armed::Config;
    } else {
        violation("table write into nowhere at " + hex(address, 6));
    }
    m_tblptr =
        static_cast<std::uint32_t>(static_cast<std::int64_t>(m_tblptr) + increment) & kAddressMask;
}

// The programming pulse after a start-programming write: the buffer of the panel that
// TBLPTR points into, or on an FXX2 in multi-panel mode the buffers of every panel, each at
// TBLPTR's offset within its panel.
void Pic18Chip::programCode() {
    const std::uint32_t pointer = m_tblptr & kAddressMask;
    const auto size = static_cast<std::uint32_t>(m_model.writeBuffer);
    if (m_multiPanel && pointer < flash.size()) {
        const std::uint32_t offset = (pointer % kPanelSize) & ~(size - 1);
        for (std::size_t panel = 0; panel < m_buffers.size(); ++panel)
            programBuffer(m_buffers[panel], static_cast<std::uint32_t>(panel) * kPanelSize + offset,
                          "panel " + std::to_string(panel + 1));
        return;
    }
    const std::size_t index = bufferIndex(pointer);
    programBuffer(m_buffers[index], pointer & ~(size - 1),
                  m_buffers.size() > 1 ? "panel " + std::to_string(index + 1) : "the chip");
}

void Pic18Chip::programBuffer(WriteBuffer& buffer, std::uint32_t target, const std::string& name) {
    const std::size_t words = buffer.data.size() / 2;
    const std::uint64_t full = words >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << words) - 1;
    if (buffer.row >= 0 && buffer.row != static_cast<std::int64_t>(target))
        violation("write buffer loaded for " + hex(static_cast<std::uint32_t>(buffer.row), 6) +
                  " programmed at " + hex(target, 6) +
                  ": TBLPTR must point to the region the buffer was loaded for");
    // The FXX2 tables fill the whole 8-byte buffer of a panel for every pulse.
    if (m_model.family == Family::FXX2 && buffer.loadedWords != full)
        violation("the " + std::to_string(buffer.data.size()) + "-byte write buffer of " + name +
                  " was not filled before the programming pulse at " + hex(target, 6));
    const std::string lock = target < flash.size() ? writeLock(target) : std::string();
    if (!lock.empty()) {
        violation("code write at " + hex(target, 6) + " does nothing: " + lock +
                  " write-protects it");
    } else {
        for (std::size_t i = 0; i < buffer.data.size(); ++i) {
            const std::uint32_t address = target + static_cast<std::uint32_t>(i);
            // FLASH cells can only be programmed from 1 to 0.
            if (address < flash.size())
                flash[address] &= buffer.data[i];
            else if (address >= kIdFirst && address <= kIdLast)
                ids[address - kIdFirst] &= buffer.data[i];
        }
    }
    buffer.data.assign(buffer.data.size(), 0xFF);
    buffer.loadedWords = 0;
    buffer.row = -1;
}

void Pic18Chip::programConfig() {
    const std::uint32_t index = m_configAddress - kConfigFirst;
    if (index >= config.size())
        return; // 30000Eh and 30000Fh are not implemented
    if (protectedBy(kConfig6H, kWrtc)) {
        violation("configuration write at " + hex(m_configAddress, 6) +
                  " does nothing: WRTC write-protects the configuration bytes");
        return;
    }
    // A protection bit that is programmed stays programmed until a bulk erase.
    const auto kept = static_cast<std::uint8_t>(kProtectionBits[index] & ~config[index]);
    config[index] = static_cast<std::uint8_t>(m_configValue & m_model.configMask[index] & ~kept);
}

void Pic18Chip::eraseRegisterWrite(std::uint32_t address, std::uint8_t value) {
    if (address == kPanelMode) {
        if (m_model.family != Family::FXX2)
            violation("write of " + hex(value, 2) + " to 3C0006H, which only the " +
                      std::string(familyName(Family::FXX2)) + " family has");
        else if (value == 0x40 || value == 0x00)
            m_multiPanel = value == 0x40;
        else
            violation("write of " + hex(value, 2) +
                      " to 3C0006H: 00H (single panel) and 40H (multi-panel) are defined");
        return;
    }
    if (address == kEraseHigh) {
        m_eraseHigh = value;
        return;
    }
    bool chipErase = false;
    switch (m_model.family) {
    case Family::FXX2:
    case Family::X220:
        chipErase = value == 0x80;
        break;
    case Family::F2XXX:
        chipErase = m_eraseHigh == 0x3F && value == 0x8F;
        break;
    case Family::K20:
        chipErase =
            (m_eraseHigh == 0x0F || m_eraseHigh == 0x3F) && (value == 0x87 || value == 0x8F);
        break;
    case Family::K22:
        chipErase = (m_eraseHigh == 0x0F || m_eraseHigh == 0x3F) && value == 0x8F;
        break;
    }
    if (!chipErase) {
        violation("erase key " + hex(static_cast<std::uint32_t>(m_eraseHigh << 8 | value), 4) +
                  " at 3C0005H:3C0004H is not the chip erase of the " +
                  std::string(familyName(m_model.family)) + " family");
        return;
    }
    m_erase = EraseState::Keyed;
}

int Pic18Chip::blockOf(std::uint32_t address) const {
    if (address >= flash.size())
        return -2;
    const ProtectionLayout& layout = m_model.protection;
    std::uint32_t bootEnd = layout.bootEnd;
    if (layout.bootSizeBits != 0) {
        const int shift = std::countr_zero(layout.bootSizeBits);
        bootEnd = layout.bootEndBySize[(config[kConfig4L] & layout.bootSizeBits) >> shift];
    }
    if (address < bootEnd)
        return -1;
    for (std::size_t n = 0; n < layout.blockEnd.size() && layout.blockEnd[n] != 0; ++n)
        if (address < layout.blockEnd[n])
            return static_cast<int>(n);
    return -2;
}

bool Pic18Chip::protectedBy(std::size_t configIndex, std::uint8_t bit) const {
    return (m_model.configMask[configIndex] & bit) != 0 && (config[configIndex] & bit) == 0;
}

bool Pic18Chip::readProtected(std::uint32_t address) const {
    const int block = blockOf(address);
    if (block == -1)
        return protectedBy(kConfig5H, kCpb);
    return block >= 0 && protectedBy(kConfig5L, static_cast<std::uint8_t>(1u << block));
}

std::string Pic18Chip::writeLock(std::uint32_t address) const {
    const int block = blockOf(address);
    if (block == -1 && protectedBy(kConfig6H, kWrtb))
        return "WRTB";
    if (block >= 0 && protectedBy(kConfig6L, static_cast<std::uint8_t>(1u << block)))
        return "WRT" + std::to_string(block);
    return {};
}

std::uint8_t Pic18Chip::tableRead(std::uint32_t address) const {
    if (address < flash.size())
        // Code-protected blocks read back as 00h through the programming interface.
        return readProtected(address) ? 0x00 : flash[address];
    if (address < kIdFirst)
        return 0x00; // unimplemented code space reads 0
    if (address <= kIdLast)
        return ids[address - kIdFirst];
    if (address >= kConfigFirst && address < kConfigFirst + config.size())
        return config[address - kConfigFirst];
    if (address == kDeviceIdLow)
        return static_cast<std::uint8_t>(reportedDeviceId() & 0xFF);
    if (address == kDeviceIdHigh)
        return static_cast<std::uint8_t>(reportedDeviceId() >> 8);
    return 0x00;
}

} // namespace tessaline::sim
