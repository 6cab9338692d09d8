#include "sim/pic18_chip.hpp"

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

Pic18Chip::Pic18Chip(const ChipModel& model, SimClock& clock)
    : flash(static_cast<std::size_t>(model.flashSize), 0xFF),
      eeprom(static_cast<std::size_t>(model.eepromSize), 0xFF), m_model(model), m_clock(clock),
      m_timing(timingOf(model.family)),
      m_holding(static_cast<std::size_t>(model.writeBuffer), 0xFF) {
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
        config[k] = static_cast<std::uint8_t>((seed * 3 + k * 11) & m_model.configMask[k]);
}

void Pic18Chip::erase() {
    flash.assign(flash.size(), 0xFF);
    eeprom.assign(eeprom.size(), 0xFF);
    ids.fill(0xFF);
    config = m_model.configErased;
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
    m_eecon1 = 0;
    m_eedata = 0;
    m_eeadr = 0;
    m_eeadrh = 0;
    m_gotoSecondWord = false;
    m_holding.assign(m_holding.size(), 0xFF);
    m_bufferRegion = -1;
    m_armed = Armed::None;
    m_eraseArmed = false;
    m_eraseHigh = 0;
}

void Pic18Chip::powerDown() {
    finishTimedWork();
    if (m_eepromBusy)
        violation("power removed while a data EEPROM write was still running");
    if (m_clock.nowMicros() < m_eraseBusyUntil)
        violation("power removed during the bulk erase hold time");
    if (m_armed != Armed::None)
        violation("power removed after a start-programming write without its programming pulse");
    m_eepromBusy = false;
    m_eraseBusyUntil = 0;
    m_armed = Armed::None;
    m_powered = false;
}

void Pic18Chip::finishTimedWork() {
    if (m_eepromBusy && m_clock.nowMicros() >= m_eepromWriteEnd) {
        eeprom[static_cast<std::size_t>(m_eepromWriteAddress)] = m_eepromWriteValue;
        m_eepromBusy = false;
    }
}

bool Pic18Chip::beginTransfer(const char* what) {
    if (!m_powered) {
        violation(std::string(what) + " before the programming voltages were applied");
        return false;
    }
    finishTimedWork();
    if (m_clock.nowMicros() < m_eraseBusyUntil)
        violation(std::string(what) + " " + millis(m_eraseBusyUntil - m_clock.nowMicros()) +
                  " before the bulk erase hold time (P11 " + millis(m_timing.bulkErase) +
                  ") ended");
    return true;
}

void Pic18Chip::transfer(int command, std::uint16_t operand) {
    if (!beginTransfer("a command"))
        return;
    if (m_armed != Armed::None) {
        violation("a start-programming table write was followed by command " +
                  hex(static_cast<std::uint32_t>(command), 1) +
                  " instead of the programming pulse");
        m_armed = Armed::None;
    }
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
    case 0x2:
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
        violation("command " + hex(static_cast<std::uint32_t>(command), 1) +
                  " shifts data out of the chip but was given an operand");
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
        break;
    }
}

std::uint8_t Pic18Chip::readTransfer(int command) {
    if (!beginTransfer("a read"))
        return 0;
    if (m_armed != Armed::None) {
        violation("a start-programming table write was followed by a read instead of the "
                  "programming pulse");
        m_armed = Armed::None;
    }
    switch (command) {
    case 0x2:
        return m_tablat;
    case 0x8:
        return tableRead(m_tblptr);
    case 0x9: {
        const std::uint8_t value = tableRead(m_tblptr);
        m_tblptr = (m_tblptr + 1) & kAddressMask;
        return value;
    }
    case 0xA: {
        const std::uint8_t value = tableRead(m_tblptr);
        m_tblptr = (m_tblptr - 1) & kAddressMask;
        return value;
    }
    case 0xB:
        m_tblptr = (m_tblptr + 1) & kAddressMask;
        return tableRead(m_tblptr);
    default:
        violation("command " + hex(static_cast<std::uint32_t>(command), 1) +
                  " shifts no data out, but the unit read a byte");
        return 0;
    }
}

void Pic18Chip::programmingPulse(std::int64_t micros) {
    if (!beginTransfer("a programming pulse"))
        return;
    if (m_eraseArmed) {
        // The erase starts on the held clock, like on the NOP that follows the key.
        m_eraseArmed = false;
        erase();
        m_eraseBusyUntil = m_clock.nowMicros() - micros + m_timing.bulkErase;
        return;
    }
    if (m_armed == Armed::Code) {
        if (micros < m_timing.codePulse)
            violation("programming pulse of " + millis(micros) + " is shorter than P9 (" +
                      millis(m_timing.codePulse) + ")");
        const auto region = static_cast<std::uint32_t>(m_bufferRegion);
        for (std::size_t i = 0; i < m_holding.size(); ++i) {
            const std::uint32_t address = region + static_cast<std::uint32_t>(i);
            // FLASH cells can only be programmed from 1 to 0.
            if (address < flash.size())
                flash[address] &= m_holding[i];
            else if (address >= kIdFirst && address <= kIdLast)
                ids[address - kIdFirst] &= m_holding[i];
        }
        m_holding.assign(m_holding.size(), 0xFF);
        m_bufferRegion = -1;
    } else if (m_armed == Armed::Config) {
        if (micros < m_timing.configPulse)
            violation("configuration programming pulse of " + millis(micros) +
                      " is shorter than the " + millis(m_timing.configPulse) +
                      " this family needs");
        const std::uint32_t index = m_configAddress - kConfigFirst;
        if (index < config.size())
            config[index] = m_configValue & m_model.configMask[index];
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
    const auto high = static_cast<std::uint8_t>(word >> 8);
    const auto file = static_cast<std::uint8_t>(word & 0xFF);
    if (word == 0x0000) {
        if (m_eraseArmed) {
            m_eraseArmed = false;
            erase();
            m_eraseBusyUntil = m_clock.nowMicros() + m_timing.bulkErase;
        }
        return;
    }
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
        return static_cast<std::uint8_t>(m_eecon1 | (m_eepromBusy ? kWr : 0));
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
    const bool busy = m_eepromBusy;
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
            m_eedata = eeprom[static_cast<std::size_t>(eepromAddress())];
    }
    if (bits & kWr) {
        if (m_eecon1 & (kEepgd | kCfgs))
            violation(m_eecon1 & kFree ? "row erase through EECON1 is not modelled"
                                       : "self-timed program memory writes through EECON1 are "
                                         "not part of programming");
        else
            startEepromWrite();
    }
    m_eecon1 = static_cast<std::uint8_t>(m_eecon1 | (bits & ~(kWr | kRd)));
}

void Pic18Chip::startEepromWrite() {
    finishTimedWork();
    if (!(m_eecon1 & kWren)) {
        violation("data EEPROM write without EECON1.WREN set");
        return;
    }
    if (m_model.eepromSize == 0) {
        violation("data EEPROM write on a chip without data EEPROM");
        return;
    }
    if (m_eepromBusy) {
        violation("data EEPROM write started while the previous one was still running");
        return;
    }
    m_eepromBusy = true;
    m_eepromWriteAddress = eepromAddress();
    m_eepromWriteValue = m_eedata;
    m_eepromWriteEnd = m_clock.nowMicros() + m_timing.eepromWrite;
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
        const auto size = static_cast<std::uint32_t>(m_holding.size());
        const std::int64_t region = base & ~(size - 1);
        if (m_bufferRegion >= 0 && region != m_bufferRegion)
            violation("write buffer loaded for " +
                      hex(static_cast<std::uint32_t>(m_bufferRegion), 6) + " and then written at " +
                      hex(base, 6));
        m_bufferRegion = region;
        m_holding[base % size] = low;
        m_holding[(base + 1) % size] = high;
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

void Pic18Chip::eraseRegisterWrite(std::uint32_t address, std::uint8_t value) {
    if (address == kPanelMode) {
        if (m_model.family != Family::FXX2 || value != 0x00)
            violation("write of " + hex(value, 2) +
                      " to 3C0006H (multi-panel writes) is not modelled");
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
    m_eraseArmed = true;
}

std::uint8_t Pic18Chip::tableRead(std::uint32_t address) const {
    if (address < flash.size())
        return flash[address];
    if (address < kIdFirst)
        return 0x00; // unimplemented code space reads 0
    if (address <= kIdLast)
        return ids[address - kIdFirst];
    if (address >= kConfigFirst && address < kConfigFirst + config.size())
        return config[address - kConfigFirst];
    if (address == kDeviceIdLow)
        return static_cast<std::uint8_t>(m_model.deviceId & 0xFF);
    if (address == kDeviceIdHigh)
        return static_cast<std::uint8_t>(m_model.deviceId >> 8);
    return 0x00;
}

} // namespace tessaline::sim
