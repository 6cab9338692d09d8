#include "sim/pic18_chip.hpp"

#include <gtest/gtest.h>

using namespace tessaline::sim;

namespace {

// Drives a chip the way the programming specifications print their sequences.
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
        return shiftOutTablat();
    }

    ManualClock clock;
    Pic18Chip chip;
};

using Violations = std::vector<std::string>;

} // namespace

TEST(Pic18Chip, BulkEraseNeedsItsKeyAndHoldTime) {
    ChipRig rig("18F4520");
    rig.tblptr(0x3C0005);
    rig.chip.transfer(0xC, 0x3F3F);
    rig.tblptr(0x3C0004);
    rig.chip.transfer(0xC, 0x8F8F);
    rig.core(0x0000);
    rig.clock.advance(5000);
    rig.core(0x0000);
    EXPECT_EQ(rig.chip.flash[100], 0xFF);
    EXPECT_EQ(rig.chip.eeprom[7], 0xFF);
    EXPECT_EQ(rig.chip.config, findChipModel("18F4520")->configErased);
    EXPECT_EQ(rig.chip.violations(), Violations{});

    ChipRig hasty("18F452");
    hasty.tblptr(0x3C0004);
    hasty.chip.transfer(0xC, 0x0080);
    hasty.core(0x0000);
    hasty.core(0x0000); // only 200 us later
    ASSERT_EQ(hasty.chip.violations().size(), 1u);
    EXPECT_NE(hasty.chip.violations()[0].find("bulk erase hold time"), std::string::npos);

    ChipRig wrongKey("18F4520");
    wrongKey.tblptr(0x3C0004);
    wrongKey.chip.transfer(0xC, 0x0080);
    EXPECT_NE(wrongKey.chip.violations().at(0).find("is not the chip erase"), std::string::npos);
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
    rig.tblptr(0x3FFFFE);
    EXPECT_EQ(rig.chip.readTransfer(0x9), 0x20);
    EXPECT_EQ(rig.chip.readTransfer(0x9), 0x04);
    rig.tblptr(0x200000);
    EXPECT_EQ(rig.chip.readTransfer(0x8), 0xFF);
    EXPECT_EQ(rig.chip.violations(), Violations{});
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
