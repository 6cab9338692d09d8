// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/chip_models.hpp"
#include "sim/sim_clock.hpp"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tessaline::sim {

// A behavioural model of a PIC18's In-Circuit Serial Programming interface: the 4-bit
// commands with their 16-bit operands, the core instructions that programming uses, the
// table pointer, EECON1 and the data EEPROM registers, the code write buffers, bulk erase,
// configuration writes and code protection. It is as strict as the programming
// documents are clear: anything a real chip would not do as intended is recorded as
// a violation, and where silicon would quietly do something else (an erase that never
// starts, a stale TABLAT, a protected block reading 00h) the model does that too.
class Pic18Chip {
public:
    // The seed chooses the register states that power-up leaves undefined, so that a run
    // repeats exactly.
    Pic18Chip(const ChipModel& model, SimClock& clock, std::uint32_t seed = 1);

    const ChipModel& model() const { return m_model; }

    // Memories as the chip holds them, before any code protection hides them.
    std::vector<std::uint8_t> flash;
    std::vector<std::uint8_t> eeprom;
    std::array<std::uint8_t, 8> ids{};
    std::array<std::uint8_t, 14> config{};

    // Fills code, ID and EEPROM bytes with a pattern that is not blank, as a chip that
    // holds an old program; its configuration protects nothing.
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
    // A 4-bit command clocked in, then MCLR pulled low before its operand: the programming
    // logic drops the cut frame, but what the command's 4th clock starts (a bulk erase
    // after the key's NOP, a requested data EEPROM write) has started, and the power-down
    // that follows is judged as any other.
    void commandCut(int command);
    // A core instruction NOP whose 4th clock was held high for the given time, then its
    // 16 zero operand bits: the programming pulse after a table write that starts
    // programming.
    void programmingPulse(std::int64_t micros);

    // DEVID2:DEVID1 as the chip reports it, revision bits included.
    std::uint16_t reportedDeviceId() const;

    const std::vector<std::string>& violations() const { return m_violations; }

private:
    enum class Kind { Core, Read, TableWrite, Pulse };
    enum class Armed { None, Code, Config };
    enum class EraseState { Idle, Keyed, NopDone, Running };

    // One code write buffer: FXX2 parts have one per 8 KB panel, the others one in all.
    struct WriteBuffer {
        std::vector<std::uint8_t> data;
        std::uint64_t loadedWords = 0;
        std::int64_t row = -1; // the address the buffer was loaded for
    };

    bool beginCommand(Kind kind, int command, std::uint16_t operand);
    bool eraseStep(Kind kind, int command, std::uint16_t operand);
    void startBulkErase(std::uint16_t operand);
    void finishTimedWork();
    void violation(const std::string& text);

    void execute(std::uint16_t word);
    std::uint8_t readRegister(std::uint8_t file);
    void writeRegister(std::uint8_t file, std::uint8_t value);
    void setEecon1Bits(std::uint8_t bits);
    void requestEepromWrite();
    void startEepromWrite();

    void tableWrite(std::uint16_t operand, int increment, bool startProgramming);
    void eraseRegisterWrite(std::uint32_t address, std::uint8_t value);
    void programCode();
    void programBuffer(WriteBuffer& buffer, std::uint32_t target, const std::string& name);
    void programConfig();
    std::uint8_t tableRead(std::uint32_t address) const;
    std::uint32_t incrementedForRead(std::uint32_t pointer) const;
    std::int32_t eepromAddress() const;

    std::size_t bufferIndex(std::uint32_t address) const;
    // The protection block of a FLASH address: -1 the boot block, n block n, -2 none.
    int blockOf(std::uint32_t address) const;
    bool protectedBy(std::size_t configIndex, std::uint8_t bit) const;
    bool readProtected(std::uint32_t address) const;
    std::string writeLock(std::uint32_t address) const;

    const ChipModel& m_model;
    SimClock& m_clock;
    FamilyTiming m_timing;
    std::mt19937 m_random;
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

    // The 2XXX, K20 and K22 parts execute a core instruction while the next command is
    // clocked in: a TABLAT shift-out right after one still sees the TABLAT before it.
    bool m_lastWasInstruction = false;
    std::uint8_t m_tablatBeforeInstruction = 0;

    std::vector<WriteBuffer> m_buffers;
    bool m_multiPanel = false; // FXX2: 3C0006h = 40h
    Armed m_armed = Armed::None;
    std::uint32_t m_configAddress = 0;
    std::uint8_t m_configValue = 0;

    // Bulk erase: the key written to 3C0005h:3C0004h, then the NOP, then the command on
    // whose 4th clock the erase starts.
    std::uint8_t m_eraseHigh = 0;
    EraseState m_erase = EraseState::Idle;
    std::int64_t m_eraseBusyUntil = 0;

    // A data EEPROM write: requested by WR, started on the 4th clock of a later command,
    // and running until its end; EECON1.WR reads 1 throughout.
    int m_eepromStartsIn = 0; // commands until a requested write starts; 0: none waits
    bool m_eepromBusy = false;
    std::int64_t m_eepromWriteEnd = 0;
    std::int32_t m_eepromWriteAddress = 0;
    std::uint8_t m_eepromWriteValue = 0;
};

} // namespace tessaline::sim
