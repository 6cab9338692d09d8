// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pic18_chip.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessaline::sim;

namespace {

// Drives a chip the way the programming documents print their sequences.
struct ChipRig {
    explicit ChipRig(const char* name) : chip(*findChipModel(name), clock) {
        chip.fillWithPattern(0x5A);
        chip.powerUp(true);
    }
    void core(std::uint16_t instruction) {
        chip.transfer(0x0, instruction);
        clock.advance(200);
    }
    void tblptr(std::uint32_t address) {
        core(static_cast<std::uint16_t>(0x0E00 | (address >> 16)));
        core(0x6EF8);
        core(static_cast<std::uint16_t>(0x0E00 | ((address >> 8) & 0xFF)));
        core(0x6EF7);
        core(static_cast<std::uint16_t>(0x0E00 | (address & 0xFF)));
        core(0x6EF6);
    }
    std::uint8_t shiftOutTablat() { return chip.readTransfer(0x2); }
    std::uint8_t eecon1() {
        core(0x50A6);
        core(0x6EF5);
        core(0x0000);
        return shiftOutTablat();
    }
    // The chip erase of the part's family: the key, a NOP, and the NOP that starts it.
    void eraseKeyAndNop() {
        const bool older =
            chip.model().family == Family::FXX2 || chip.model().family == Family::X220;
        if (!older) {
            tblptr(0x3C0005);
            chip.transfer(0xC, 0x3F3F);
        }
        tblptr(0x3C0004);
        chip.transfer(0xC, older ? 0x0080 : 0x8F8F);
        core(0x0000);
    }
    void bulkErase() {
        eraseKeyAndNop();
        core(0x0000);
        clock.advance(5200);
    }
    // One configuration byte, programmed as the tables do it.
    void writeConfig(std::size_t index, std::uint8_t value) {
        core(0x8EA6);
        core(0x8CA6);
        tblptr(0x300000 + static_cast<std::uint32_t>(index));
        chip.transfer(0xF, static_cast<std::uint16_t>(value * 0x101));
        chip.programmingPulse(1000);
    }
    // One whole write buffer of code at a row, every byte the given value.
    void writeRow(std::uint32_t row, std::uint8_t value) {
        core(0x8EA6);
        core(0x9CA6);
        tblptr(row);
        const int words = chip.model().writeBuffer / 2;
        for (int word = 0; word < words; ++word)
            chip.transfer(word + 1 < words ? 0xD : 0xF, static_cast<std::uint16_t>(value * 0x101));
        chip.programmingPulse(1000);
    }
    std::uint8_t read(std::uint32_t address) {
        tblptr(address);
        return chip.readTransfer(0x9);
    }
    bool reported(const std::string& text) const {
        return std::ranges::any_of(chip.violations(), [&](const std::string& seen) {
            return seen.find(text) != std::string::npos;
        });
    }

    ManualClock clock;
    Pic18Chip chip;
};

using Violations = std::vector<std::string>;

} // namespace

// The erase starts on the 4th clock of the command after the NOP that follows the key,
// with PGD held low: its operand clocks carry 0, and nothing else comes for P11 + P10.
TEST(Pic18Chip, BulkEraseStartsOnTheCommandAfterTheNop) {
    for (const char* part : {"18F452", "18F2320", "18F4520"}) {
        ChipRig rig(part);
        rig.bulkErase();
        rig.core(0x8EA6);
        EXPECT_EQ(rig.chip.flash[100], 0xFF) << part;
        EXPECT_EQ(rig.chip.eeprom[7], 0xFF) << part;
        EXPECT_EQ(rig.chip.config, findChipModel(part)->configErased) << part;
        EXPECT_EQ(rig.chip.violations(), Violations{}) << part;
    }

    struct Row {
        const char* part;
        void (*afterKey)(ChipRig&);
        const char* violation;
        bool keepsContents;
    };
    const Row rows[] = {
        // One NOP, a wait and power-down: the erase never started.
        {"18F4520",
         [](ChipRig& r) {
             r.clock.advance(10000);
             r.chip.powerDown();
         },
         "before the bulk erase started", true},
        // The next command's operand clocked in while the erase runs.
        {"18F452", [](ChipRig& r) { r.core(0x8EA6); }, "clocked in while the bulk erase ran",
         false},
        {"18F452",
         [](ChipRig& r) {
             r.core(0x0000);
             r.core(0x8EA6); // only 200 us later
         },
         "bulk erase hold time", false},
        {"18F4520", [](ChipRig& r) { r.chip.readTransfer(0x9); }, "no erase starts", true},
    };
    for (const Row& row : rows) {
        ChipRig rig(row.part);
        const auto before = rig.chip.flash;
        rig.eraseKeyAndNop();
        row.afterKey(rig);
        EXPECT_TRUE(rig.reported(row.violation)) << row.violation;
        if (row.keepsContents) {
            EXPECT_EQ(rig.chip.flash, before) << row.violation;
        }
    }

    ChipRig wrongKey("18F4520");
    wrongKey.tblptr(0x3C0004);
    wrongKey.chip.transfer(0xC, 0x0080);
    EXPECT_TRUE(wrongKey.reported("is not the chip erase"));
}

// CPn, CPB and CPD hide their block from the programming interface (reads give 00h); WRTn,
// WRTB, WRTC and WRTD make writes do nothing; only a bulk erase clears them.
TEST(Pic18Chip, CodeProtectionHidesAndLocksUntilABulkErase) {
    ChipRig rig("18F4520");
    rig.bulkErase();
    rig.writeRow(0x0000, 0x11); // boot block
    rig.writeRow(0x2000, 0x22); // block 1
    rig.writeConfig(8, 0x0D);   // CONFIG5L: CP1 = 0
    rig.writeConfig(9, 0x40);   // CONFIG5H: CPD = 0
    rig.writeConfig(10, 0x0F);
    EXPECT_EQ(rig.read(0x0000), 0x11);
    EXPECT_EQ(rig.read(0x1FFF), 0xFF); // block 0 is not protected
    EXPECT_EQ(rig.read(0x2000), 0x00);
    EXPECT_EQ(rig.read(0x3FFF), 0x00);
    EXPECT_EQ(rig.chip.flash[0x2000], 0x22);
    rig.core(0x9EA6);
    rig.core(0x9CA6);
    rig.core(0x80A6);
    rig.core(0x50A8);
    rig.core(0x6EF5);
    rig.core(0x0000);
    EXPECT_EQ(rig.shiftOutTablat(), 0x00); // data EEPROM hidden by CPD
    rig.writeConfig(8, 0x0F);              // trying to clear CP1 again
    EXPECT_EQ(rig.read(0x2000), 0x00);
    EXPECT_EQ(rig.chip.violations(), Violations{});

    struct Row {
        std::size_t configIndex;
        std::uint8_t value;
        void (*write)(ChipRig&);
        const char* lock;
    };
    const Row rows[] = {
        {10, 0x0E, [](ChipRig& r) { r.writeRow(0x0800, 0x00); }, "WRT0 write-protects"},
        {11, 0xA0, [](ChipRig& r) { r.writeRow(0x0000, 0x00); }, "WRTB write-protects"},
        {11, 0xC0, [](ChipRig& r) { r.writeConfig(1, 0x00); }, "WRTC write-protects"},
        {11, 0x60,
         [](ChipRig& r) {
             r.core(0x9EA6);
             r.core(0x9CA6);
             r.core(0x84A6);
             r.core(0x82A6);
             r.core(0x0000);
             r.clock.advance(5000);
         },
         "WRTD write-protects"},
    };
    for (const Row& row : rows) {
        ChipRig locked("18F4520");
        locked.bulkErase();
        locked.writeConfig(row.configIndex, row.value);
        const auto flash = locked.chip.flash;
        const auto config = locked.chip.config;
        const auto eeprom = locked.chip.eeprom;
        row.write(locked);
        EXPECT_TRUE(locked.reported(row.lock)) << row.lock;
        EXPECT_EQ(locked.chip.flash, flash) << row.lock;
        EXPECT_EQ(locked.chip.config, config) << row.lock;
        EXPECT_EQ(locked.chip.eeprom, eeprom) << row.lock;
        locked.bulkErase();
        EXPECT_EQ(locked.chip.config, findChipModel("18F4520")->configErased);
    }

    // The boot block size that BBSIZ chooses moves the CPB boundary.
    ChipRig bbsiz("18F2585");
    bbsiz.bulkErase();
    bbsiz.writeRow(0x0800, 0x33);
    bbsiz.writeConfig(6, 0x95); // CONFIG4L: BBSIZ = 01, a 2K-word boot block
    bbsiz.writeConfig(9, 0x80); // CPB = 0
    EXPECT_EQ(bbsiz.read(0x0FFF), 0x00);
    EXPECT_EQ(bbsiz.read(0x1000), 0xFF);
    EXPECT_EQ(bbsiz.chip.flash[0x0800], 0x33);
}

// EECON1's EEPGD and CFGS, and the FXX2 panel mode, are not defined after power-up: the
// chip takes a seeded arbitrary state at every power-up, so that a sequence that leaves
// them alone fails on some of them.
TEST(Pic18Chip, PowerUpLeavesEecon1Undefined) {
    auto states = [](std::uint32_t seed) {
        ManualClock clock;
        Pic18Chip chip(*findChipModel("18F4520"), clock, seed);
        std::vector<int> seen;
        for (int i = 0; i < 16; ++i) {
            chip.powerUp(true);
            chip.transfer(0x0, 0x50A6);
            chip.transfer(0x0, 0x6EF5);
            chip.transfer(0x0, 0x0000);
            seen.push_back(chip.readTransfer(0x2) & 0xC0);
            chip.powerDown();
        }
        return seen;
    };
    const std::vector<int> seen = states(7);
    EXPECT_EQ(seen, states(7));
    EXPECT_NE(std::count(seen.begin(), seen.end(), 0x00), 0);
    EXPECT_NE(std::count(seen.begin(), seen.end(), 0xC0), 0);
}

// The 2XXX family executes a core instruction while the next command is clocked in: its
// tables put a NOP before a TABLAT shift-out, and without it the old TABLAT comes out. The
// FXX2 and X220 tables have no such NOP.
TEST(Pic18Chip, ShiftOutRightAfterAnInstructionSeesTheOldTablatOnNewerFamilies) {
    for (const char* part : {"18F4520", "18F452"}) {
        ChipRig rig(part);
        rig.core(0x0E5A);
        rig.core(0x6EF5);
        rig.core(0x0000);
        EXPECT_EQ(rig.shiftOutTablat(), 0x5A) << part;
        rig.core(0x0EA5);
        rig.core(0x6EF5);
        EXPECT_EQ(rig.shiftOutTablat(), std::string(part) == "18F452" ? 0xA5 : 0x5A) << part;
    }
}

// FXX2: multi-panel writes stay on until 00h is written to 3C0006h; a pulse then programs
// the buffer of every panel at TBLPTR's offset, and each 8-byte buffer must be full.
TEST(Pic18Chip, Fxx2PanelsAndFullBuffers) {
    ChipRig rig("18F452");
    rig.bulkErase();
    rig.core(0x8EA6);
    rig.core(0x8CA6);
    rig.tblptr(0x3C0006);
    rig.chip.transfer(0xC, 0x0040);
    rig.core(0x8EA6);
    rig.core(0x9CA6);
    for (std::uint32_t panel = 0; panel < 4; ++panel) {
        rig.tblptr(panel * 0x2000 + 0x10);
        for (int word = 0; word < 3; ++word)
            rig.chip.transfer(0xD, static_cast<std::uint16_t>(0x0101 * (panel + 1)));
        rig.chip.transfer(panel < 3 ? 0xC : 0xF, static_cast<std::uint16_t>(0x0101 * (panel + 1)));
    }
    rig.chip.programmingPulse(1000);
    for (std::uint32_t panel = 0; panel < 4; ++panel)
        EXPECT_EQ(rig.chip.flash[panel * 0x2000 + 0x17], panel + 1) << panel;
    EXPECT_EQ(rig.chip.violations(), Violations{});

    rig.writeRow(0x0100, 0x55); // still multi-panel: three buffers were never loaded
    EXPECT_TRUE(rig.reported("write buffer of panel 2 was not filled"));

    ChipRig single("18F452");
    single.bulkErase();
    single.core(0x8EA6);
    single.core(0x8CA6);
    single.tblptr(0x3C0006);
    single.chip.transfer(0xC, 0x0000);
    single.writeRow(0x0100, 0x55);
    EXPECT_EQ(single.chip.flash[0x107], 0x55);
    EXPECT_EQ(single.chip.violations(), Violations{});
    single.tblptr(0x0200);
    single.chip.transfer(0xF, 0x1234); // one word of four
    single.chip.programmingPulse(1000);
    EXPECT_TRUE(single.reported("was not filled before the programming pulse"));
}

// A data EEPROM write starts on a later command after WR. The X220 family documents no
// polling: it ignores everything but NOPs until the write has ended.
TEST(Pic18Chip, EepromWriteStartsAfterWrAndX220TakesNoCommandsMeanwhile) {
    auto requestWrite = [](ChipRig& r) {
        r.core(0x9EA6);
        r.core(0x9CA6);
        r.core(0x0E07);
        r.core(0x6EA9);
        r.core(0x0E42);
        r.core(0x6EA8);
        r.core(0x84A6);
        r.core(0x82A6);
    };
    ChipRig documented("18F2320");
    requestWrite(documented);
    documented.core(0x0000);
    documented.core(0x0000);
    documented.clock.advance(5000);
    documented.core(0x94A6);
    EXPECT_EQ(documented.chip.eeprom[7], 0x42);
    EXPECT_EQ(documented.chip.violations(), Violations{});

    ChipRig polled("18F2320");
    requestWrite(polled);
    polled.core(0x50A6);
    EXPECT_TRUE(polled.reported("takes no commands during a data EEPROM write"));

    ChipRig unstarted("18F4520");
    requestWrite(unstarted);
    unstarted.chip.powerDown();
    EXPECT_TRUE(unstarted.reported("before the requested data EEPROM write started"));
}

TEST(Pic18Chip, CodeWriteProgramsTheWholeBufferOnThePulse) {
    ChipRig rig("18F2520");
    rig.chip.flash.assign(rig.chip.flash.size(), 0xFF);
    rig.core(0x8EA6);
    rig.core(0x9CA6);
    rig.tblptr(0x000040);
    for (int word = 0; word < 15; ++word)
        rig.chip.transfer(0xD, static_cast<std::uint16_t>(0x0100 * (2 * word + 1) + 2 * word));
    rig.chip.transfer(0xF, 0x1F1E);
    EXPECT_EQ(rig.chip.flash[0x40], 0xFF); // nothing before the pulse
    rig.clock.advance(1000);
    rig.chip.programmingPulse(1000);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(rig.chip.flash[static_cast<std::size_t>(0x40 + i)], i) << i;
    EXPECT_EQ(rig.chip.flash[0x60], 0xFF);
    EXPECT_EQ(rig.chip.violations(), Violations{});
}

TEST(Pic18Chip, FlashOnlyClearsBits) {
    ChipRig rig("18F1320");
    rig.chip.flash[0] = 0xF0;
    rig.chip.flash[1] = 0x0F;
    rig.core(0x8EA6);
    rig.core(0x9CA6);
    rig.tblptr(0);
    rig.chip.transfer(0xD, 0x3C3C);
    rig.chip.transfer(0xD, 0xFFFF);
    rig.chip.transfer(0xD, 0xFFFF);
    rig.chip.transfer(0xF, 0xFFFF);
    rig.chip.programmingPulse(1000);
    EXPECT_EQ(rig.chip.flash[0], 0x30);
    EXPECT_EQ(rig.chip.flash[1], 0x0C);
}

TEST(Pic18Chip, ConfigurationBytesTakeTheHalfOfTheirAddress) {
    ChipRig rig("18F4520");
    rig.core(0x8EA6);
    rig.core(0x8CA6);
    rig.tblptr(0x300002);
    rig.chip.transfer(0xF, 0x1234);
    rig.chip.programmingPulse(1000);
    rig.tblptr(0x300003);
    rig.chip.transfer(0xF, 0x1234);
    rig.chip.programmingPulse(1000);
    rig.tblptr(0x300001);
    rig.chip.transfer(0xF, 0xFFFF); // unimplemented bits of CONFIG1H read 0
    rig.chip.programmingPulse(1000);
    EXPECT_EQ(rig.chip.config[2], 0x34 & 0x1F);
    EXPECT_EQ(rig.chip.config[3], 0x12);
    EXPECT_EQ(rig.chip.config[1], 0xCF);
    EXPECT_EQ(rig.chip.violations(), Violations{});

    ChipRig k22("18F45K22");
    k22.core(0x8EA6);
    k22.core(0x8CA6);
    k22.core(0x84A6);
    k22.tblptr(0x300000);
    k22.chip.transfer(0xF, 0x0000);
    k22.chip.programmingPulse(2000); // K22 needs P9A = 5 ms
    EXPECT_NE(k22.chip.violations().at(0).find("shorter than the 5 ms"), std::string::npos);
}

TEST(Pic18Chip, EepromWriteKeepsWrSetForItsCycleThenReadsBack) {
    ChipRig rig("18F2550");
    rig.core(0x9EA6);
    rig.core(0x9CA6);
    rig.core(0x0E05);
    rig.core(0x6EA9);
    rig.core(0x0EA5);
    rig.core(0x6EA8);
    rig.core(0x84A6);
    rig.core(0x82A6);
    EXPECT_EQ(rig.eecon1() & 0x02, 0x02);
    rig.clock.advance(4000);
    EXPECT_EQ(rig.eecon1() & 0x02, 0x00);
    EXPECT_EQ(rig.chip.eeprom[5], 0xA5);
    rig.core(0x94A6);
    // Read it back through EEDATA and TABLAT.
    rig.core(0x0E05);
    rig.core(0x6EA9);
    rig.core(0x80A6);
    rig.core(0x50A8);
    rig.core(0x6EF5);
    rig.core(0x0000);
    EXPECT_EQ(rig.shiftOutTablat(), 0xA5);
    EXPECT_EQ(rig.chip.violations(), Violations{});
}

TEST(Pic18Chip, TableReadsCoverCodeIdsConfigurationAndDeviceId) {
    ChipRig rig("18F452");
    rig.chip.erase();
    rig.chip.flash[0] = 0x12;
    rig.chip.flash[1] = 0x34;
    rig.tblptr(0);
    EXPECT_EQ(rig.chip.readTransfer(0x9), 0x12);
    EXPECT_EQ(rig.chip.readTransfer(0x8), 0x34);
    EXPECT_EQ(rig.chip.readTransfer(0xB), 0xFF);
    rig.tblptr(0x300001);
    EXPECT_EQ(rig.chip.readTransfer(0x9), 0x27);
    rig.tblptr(0x3FFFFE); // DEVID 0420h with revision 3
    EXPECT_EQ(rig.chip.readTransfer(0x9), 0x23);
    EXPECT_EQ(rig.chip.readTransfer(0x9), 0x04);
    rig.tblptr(0x200000);
    EXPECT_EQ(rig.chip.readTransfer(0x8), 0xFF);
    EXPECT_EQ(rig.chip.violations(), Violations{});

    // Reads go on past FFFFh on a part with more FLASH, but wrap to 0 on a 64 KB part.
    ChipRig wide("18F2685");
    wide.chip.flash[0x10000] = 0x77;
    wide.chip.flash[0] = 0x66;
    wide.tblptr(0xFFFF);
    wide.chip.readTransfer(0x9);
    EXPECT_EQ(wide.chip.readTransfer(0x9), 0x77);
    ChipRig wraps("18F2620");
    wraps.chip.flash[0] = 0x66;
    wraps.tblptr(0xFFFF);
    wraps.chip.readTransfer(0x9);
    EXPECT_EQ(wraps.chip.readTransfer(0x9), 0x66);
}

TEST(Pic18Chip, MisuseIsRecorded) {
    struct Row {
        const char* chip;
        void (*misuse)(ChipRig&);
        const char* text;
    };
    const Row rows[] = {
        {"18F4520",
         [](ChipRig& r) {
             r.core(0x9EA6);
             r.core(0x9CA6);
             r.core(0x82A6);
         },
         "without EECON1.WREN"},
        {"18F4520",
         [](ChipRig& r) {
             r.tblptr(0x100000);
             r.chip.transfer(0xD, 0);
         },
         "table write into nowhere at 100000H"},
        {"18F4520", [](ChipRig& r) { r.core(0x6E81); }, "register F81H"},
        {"18F4520", [](ChipRig& r) { r.core(0xD7FE); }, "core instruction D7FEH"},
        {"18F4520",
         [](ChipRig& r) {
             r.core(0x8EA6);
             r.core(0x9CA6);
             r.tblptr(0);
             r.chip.transfer(0xF, 0);
             r.chip.programmingPulse(500);
         },
         "shorter than P9"},
        {"18F4520",
         [](ChipRig& r) {
             r.core(0x8EA6);
             r.core(0x9CA6);
             r.tblptr(0);
             r.chip.transfer(0xF, 0);
             r.core(0x0000);
         },
         "instead of the programming pulse"},
        {"18F4520",
         [](ChipRig& r) {
             r.tblptr(0);
             r.chip.transfer(0xD, 0);
         },
         "EECON1 not set for program memory"},
        {"18F4520",
         [](ChipRig& r) {
             r.chip.powerDown();
             r.chip.readTransfer(0x9);
         },
         "before the programming voltages"},
        {"18F4520",
         [](ChipRig& r) {
             r.chip.powerDown();
             r.chip.powerUp(false);
         },
         "VPP before VDD"},
        {"18F4520", [](ChipRig& r) { r.chip.transfer(0x3, 0); }, "not an ICSP command"},
        {"18F4520", [](ChipRig& r) { r.chip.transfer(0x9, 0); }, "was given an operand"},
    };
    for (const Row& row : rows) {
        ChipRig rig(row.chip);
        row.misuse(rig);
        ASSERT_FALSE(rig.chip.violations().empty()) << row.text;
        EXPECT_NE(rig.chip.violations()[0].find(row.text), std::string::npos)
            << rig.chip.violations()[0];
    }
    ChipRig k22("18F45K22");
    k22.chip.powerDown();
    k22.chip.powerUp(false); // K20 and K22 parts may take VPP first
    EXPECT_EQ(k22.chip.violations(), Violations{});
}

// MCLR low resets the programming logic: a command whose 4 bits were clocked in without
// its operand is dropped. What its 4th clock started has started, though: the NOP after
// the erase key's NOP starts the bulk erase, which a power-down then cuts, unless the
// frame is completed with PGD low and the erase given its time (the documented shape).
TEST(Pic18Chip, ACutCommandIsDroppedButWhatItsFourthClockStartedRuns) {
    ChipRig tableWrite("18F4520");
    tableWrite.tblptr(0x000000);
    tableWrite.chip.commandCut(0xD);
    tableWrite.chip.powerDown();
    EXPECT_EQ(tableWrite.chip.violations(), Violations{});

    ChipRig cut("18F4520");
    cut.eraseKeyAndNop();
    cut.chip.commandCut(0x0);
    cut.chip.powerDown();
    EXPECT_TRUE(cut.reported("during the bulk erase hold time"));

    ChipRig completed("18F4520");
    completed.eraseKeyAndNop();
    completed.core(0x0000);
    completed.clock.advance(20'000);
    completed.chip.powerDown();
    EXPECT_EQ(completed.chip.violations(), Violations{});
    EXPECT_EQ(completed.chip.flash[0], 0xFF);
}
