#pragma once

#include "sim/chip_models.hpp"
#include "sim/sim_clock.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::sim {

// A behavioural model of a PIC18's In-Circuit Serial Programming interface: the 4-bit
// commands with their 16-bit operands, the core instructions that programming uses, the
// table pointer, EECON1 and the data EEPROM registers, the code write buffer, bulk erase
// and configuration writes. Anything a real chip would not do as intended is recorded
// as a violation.
class Pic18Chip {
public:
    Pic18Chip(const ChipModel& model, SimClock& clock);

    const ChipModel& model() const { return m_model; }

    // Memories as the chip holds them.
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
    std::array<std::uint8_t, 8> ids{};
    std::array<std::uint8_t, 14> config{};

    // Fills code, ID and EEPROM bytes with a pattern that is not blank, as a chip that
    // holds an old program.
    void fillWithPattern(std::uint8_t seed);
    // The state after a bulk erase.
    void erase();

    // MCLR/VPP raised to the programming voltage, after VDD (vddFirst) or before it.
    void powerUp(bool vddFirst);
    void powerDown();
    bool powered() const { return m_powered; }

    // A 4-bit command followed by a 16-bit operand from the host.
    void transfer(int command, std::uint16_t operand);
    // A 4-bit command whose operand's last 8 clocks shift a byte out of the chip.
    std::uint8_t readTransfer(int command);
    // A core instruction NOP whose 4th clock is held high for the given time: the
    // programming pulse after a table write that starts programming.
    void programmingPulse(std::int64_t micros);

    const std::vector<std::string>& violations() const { return m_violations; }

private:
    enum class Armed { None, Code, Config };

    bool beginTransfer(const char* what);
    void finishTimedWork();
    void violation(const std::string& text);

    void execute(std::uint16_t word);
    std::uint8_t readRegister(std::uint8_t file);
    void writeRegister(std::uint8_t file, std::uint8_t value);
    void setEecon1Bits(std::uint8_t bits);
    void startEepromWrite();

    void tableWrite(std::uint16_t operand, int increment, bool startProgramming);
    void eraseRegisterWrite(std::uint32_t address, std::uint8_t value);
    std::uint8_t tableRead(std::uint32_t address) const;
    std::int32_t eepromAddress() const;

    const ChipModel& m_model;
    SimClock& m_clock;
    FamilyTiming m_timing;
    std::vector<std::string> m_violations;

    bool m_powered = false;
    std::uint8_t m_w = 0;
    std::uint32_t m_tblptr = 0;
    std::uint8_t m_tablat = 0;
    std::uint8_t m_eecon1 = 0;
    std::uint8_t m_eedata = 0;
    std::uint8_t m_eeadr = 0;
    std::uint8_t m_eeadrh = 0;
    bool m_gotoSecondWord = false;

    // Code write buffer and the region of code space it was loaded for.
    std::vector<std::uint8_t> m_holding;
    std::int64_t m_bufferRegion = -1;
    Armed m_armed = Armed::None;
    std::uint32_t m_configAddress = 0;
    std::uint8_t m_configValue = 0;

    // Bulk erase: the key written to 3C0005h:3C0004h and the end of its hold time.
    std::uint8_t m_eraseHigh = 0;
    bool m_eraseArmed = false;
    std::int64_t m_eraseBusyUntil = 0;

    // A data EEPROM write in progress: EECON1.WR stays set until its end.
    bool m_eepromBusy = false;
    std::int64_t m_eepromWriteEnd = 0;
    std::int32_t m_eepromWriteAddress = 0;
    std::uint8_t m_eepromWriteValue = 0;
};

} // namespace tessaline::sim
