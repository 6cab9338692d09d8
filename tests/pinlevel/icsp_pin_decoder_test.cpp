// SPDX-License-Identifier: GPL-3.0-or-later
// The ICSP pin decoder with the strict chip behind it, fed with synthetic edge tables in a
// 16 MHz programmer's cycles: good sequences go through with no violation and reach the
// chip, and each class of pin fault is named. Also the unit's circuit, from its registers.
#include "pinlevel/icsp_pin_decoder.hpp"
#include "pinlevel/unit_board.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tessaline::sim;
using namespace tessaline::pinlevel;

namespace {

// Knobs that turn the good shape of the reference unit into a faulty one.
struct Shape {
    std::uint64_t vddToMclr = 320000; // 20 ms
    std::uint64_t entryHold = 1600;   // 100 µs before the first clock
    bool clockHighAtEntry = false;
    bool lowVoltage = false;
    bool dataWithFallingClock = false; // the next bit goes out as PGC falls
    bool driveDuringRead = false;      // PGD left an output through the read
    std::uint64_t vddAfterMclr = 1;
};

class PinBench {
public:
    explicit PinBench(const char* model)
        : chip(*findChipModel(model), clock), decoder(&chip, clock) {
        decoder.onChipDrive = [this](std::uint64_t cycle, int level) {
            drives.emplace_back(cycle, level);
        };
    }

    void set(std::uint64_t after, const std::function<void(IcspNets&)>& change) {
        now += after;
        change(nets);
        decoder.netsChanged(now, nets);
    }

    void powerUp() {
        set(100, [](IcspNets& n) { n.vdd = true; });
        if (shape.clockHighAtEntry)
            set(1, [](IcspNets& n) { n.pgc = true; });
        if (shape.lowVoltage)
            set(shape.vddToMclr - 160, [](IcspNets& n) { n.pgm = true; });
        set(shape.lowVoltage ? 160 : shape.vddToMclr, [this](IcspNets& n) {
            n.pgdDriven = true;
            n.mclr = shape.lowVoltage ? MclrLevel::Vih : MclrLevel::Vihh;
        });
        set(shape.entryHold, [](IcspNets& n) { n.pgc = false; });
    }

    void bits(std::uint32_t value, int count, std::uint64_t high = 16) {
        for (int i = 0; i < count; ++i, value >>= 1) {
            const bool bit = value & 1;
            const bool next = (value >> 1) & 1;
            set(8, [bit](IcspNets& n) {
                n.pgdDriven = true;
                n.pgd = bit;
            });
            set(8, [](IcspNets& n) { n.pgc = true; });
            set(high, [this, next, i, count](IcspNets& n) {
                n.pgc = false;
                if (shape.dataWithFallingClock && i + 1 < count)
                    n.pgd = next;
            });
        }
        set(8, [](IcspNets& n) { n.pgd = false; });
    }

    void write(int command, std::uint16_t operand) {
        bits(static_cast<std::uint32_t>(command), 4);
        bits(operand, 16);
    }
    void core(std::uint16_t instruction) { write(0x0, instruction); }

    // Samples PGD 16 cycles after each rising clock, as the chip drives it.
    std::uint8_t read(int command) {
        bits(static_cast<std::uint32_t>(command), 4);
        bits(0, 8);
        if (!shape.driveDuringRead)
            set(1, [](IcspNets& n) { n.pgdDriven = false; });
        std::uint8_t value = 0;
        for (int i = 0; i < 8; ++i) {
            set(16, [](IcspNets& n) { n.pgc = true; });
            if (levelAt(now + 16) > 0)
                value |= static_cast<std::uint8_t>(1u << i);
            set(16, [](IcspNets& n) { n.pgc = false; });
        }
        set(16, [](IcspNets& n) { n.pgdDriven = true; });
        return value;
    }

    void pulse(std::uint64_t highCycles, std::uint64_t lowCycles) {
        bits(0, 3);
        set(8, [](IcspNets& n) { n.pgc = true; });
        set(highCycles, [](IcspNets& n) { n.pgc = false; });
        now += lowCycles - 8;
        bits(0, 16);
    }

    void pointerTo(std::uint32_t address) {
        for (const std::uint16_t file : {0xF8, 0xF7, 0xF6}) {
            const int shift = file == 0xF8 ? 16 : file == 0xF7 ? 8 : 0;
            core(static_cast<std::uint16_t>(0x0E00 | ((address >> shift) & 0xFF)));
            core(static_cast<std::uint16_t>(0x6E00 | file));
        }
    }

    void powerDown() {
        set(16, [](IcspNets& n) { n.mclr = MclrLevel::Low; });
        set(shape.vddAfterMclr, [](IcspNets& n) {
            n.vdd = false;
            n.pgdDriven = false;
            n.pgm = false;
        });
        decoder.finish(now + 160000);
    }

    std::vector<std::string> violations() const {
        std::vector<std::string> all = decoder.violations();
        for (const std::string& text : chip.violations())
            all.push_back("chip: " + text);
        return all;
    }

    Shape shape;
    CycleClock clock;
    Pic18Chip chip;
    IcspPinDecoder decoder;
    IcspNets nets;
    std::uint64_t now = 0;
    std::vector<std::pair<std::uint64_t, int>> drives;

private:
    int levelAt(std::uint64_t cycle) const {
        int level = -1;
        for (const auto& [at, driven] : drives)
            if (at <= cycle)
                level = driven;
        return level;
    }
};

// 18F4520: a 32-byte write buffer, P10 of 100 µs.
void programWord(PinBench& bench, std::uint16_t word, std::uint64_t pulse = 16000,
                 std::uint64_t discharge = 1600) {
    bench.core(0x8EA6); // EEPGD
    bench.core(0x9CA6); // CFGS clear
    bench.pointerTo(0);
    bench.write(0xD, word);
    for (int i = 1; i < 15; ++i)
        bench.write(0xD, 0xFFFF);
    bench.write(0xF, 0xFFFF);
    bench.pulse(pulse, discharge);
}

} // namespace

TEST(IcspPinDecoder, GoodSequencesReachTheChipWithoutAViolation) {
    struct Row {
        const char* what;
        std::function<void(PinBench&)> run;
    };
    const Row rows[] = {
        {"program a word, then read it back",
         [](PinBench& bench) {
             bench.powerUp();
             programWord(bench, 0x1234);
             bench.pointerTo(0);
             EXPECT_EQ(bench.read(0x9), 0x34);
             EXPECT_EQ(bench.read(0x9), 0x12);
             EXPECT_EQ(bench.chip.flash[0], 0x34);
             bench.powerDown();
         }},
        {"bulk erase: key, NOP, the NOP that starts it, then its hold time",
         [](PinBench& bench) {
             bench.chip.fillWithPattern(0x11);
             bench.powerUp();
             bench.pointerTo(0x3C0005);
             bench.write(0xC, 0x3F3F);
             bench.pointerTo(0x3C0004);
             bench.write(0xC, 0x8F8F);
             bench.core(0);
             bench.core(0);
             bench.now += 5100 * 16; // P11 + P10
             bench.pointerTo(0);
             EXPECT_EQ(bench.read(0x9), 0xFF);
             bench.powerDown();
         }},
        {"low-voltage entry through PGM",
         [](PinBench& bench) {
             bench.shape.lowVoltage = true;
             bench.powerUp();
             bench.pointerTo(0x3FFFFE);
             EXPECT_EQ(bench.read(0x9) & 0xE0, 0x80);
             EXPECT_EQ(bench.read(0x9), 0x10);
             bench.powerDown();
         }},
    };
    for (const Row& row : rows) {
        PinBench bench("18F4520");
        row.run(bench);
        EXPECT_EQ(bench.violations(), std::vector<std::string>{}) << row.what;
        EXPECT_FALSE(bench.decoder.programMode()) << row.what;
    }
}

// One row per class of pin fault; each must be named.
TEST(IcspPinDecoder, EachClassOfPinFaultIsNamed) {
    struct Row {
        const char* fault;
        std::function<void(PinBench&)> run;
    };
    const Row rows[] = {
        {"P3/P4",
         [](PinBench& b) {
             b.shape.dataWithFallingClock = true;
             b.powerUp();
             b.core(0x0E55);
         }},
        {"(P2A: 40 ns)",
         [](PinBench& b) {
             b.powerUp();
             b.bits(0, 4, 0);
         }},
        {"(P2: 100 ns)",
         [](PinBench& b) {
             b.powerUp();
             b.bits(0, 1);
             b.set(8, [](IcspNets& n) { n.pgc = true; });
             b.set(1, [](IcspNets& n) { n.pgc = false; });
             b.set(0, [](IcspNets& n) { n.pgc = true; });
         }},
        {"(P2B: 40 ns)",
         [](PinBench& b) {
             b.powerUp();
             b.bits(0, 1);
             b.set(8, [](IcspNets& n) { n.pgc = true; });
             b.set(8, [](IcspNets& n) { n.pgc = false; });
             b.set(0, [](IcspNets& n) { n.pgc = true; });
         }},
        {"must be low when MCLR rises",
         [](PinBench& b) {
             b.shape.clockHighAtEntry = true;
             b.powerUp();
         }},
        {"P13",
         [](PinBench& b) {
             b.shape.vddToMclr = 1;
             b.powerUp();
         }},
        {"P12",
         [](PinBench& b) {
             b.shape.entryHold = 1;
             b.powerUp();
             b.core(0);
         }},
        {"PGC high while VDD is off", [](PinBench& b) { b.bits(0, 4); }},
        {"not in programming mode", [](PinBench& b) { b.bits(0, 4); }},
        {"contention",
         [](PinBench& b) {
             b.shape.driveDuringRead = true;
             b.powerUp();
             b.read(0x9);
         }},
        {"shorter than P9",
         [](PinBench& b) {
             b.powerUp();
             programWord(b, 0, 14400);
         }},
        {"P10",
         [](PinBench& b) {
             b.powerUp();
             programWord(b, 0, 16000, 800);
         }},
        {"LVP bit",
         [](PinBench& b) {
             b.chip.config[6] &= 0xFB;
             b.shape.lowVoltage = true;
             b.powerUp();
         }},
        {"P16",
         [](PinBench& b) {
             b.powerUp();
             b.bits(0, 7);
             b.powerDown();
         }},
        {"P17",
         [](PinBench& b) {
             b.shape.vddAfterMclr = 160;
             b.powerUp();
             b.powerDown();
         }},
        {"MCLR must fall first",
         [](PinBench& b) {
             b.powerUp();
             b.set(16, [](IcspNets& n) { n.vdd = false; });
         }},
        {"its 16 bits must be 0",
         [](PinBench& b) {
             b.powerUp();
             b.bits(0, 3);
             b.set(8, [](IcspNets& n) { n.pgc = true; });
             b.set(16000, [](IcspNets& n) { n.pgc = false; });
             b.now += 1600;
             b.bits(1, 16);
         }},
    };
    for (const Row& row : rows) {
        PinBench bench("18F4520");
        row.run(bench);
        const std::vector<std::string> found = bench.violations();
        bool named = false;
        for (const std::string& text : found)
            named = named || text.find(row.fault) != std::string::npos;
        EXPECT_TRUE(named) << row.fault << ": " << testing::PrintToString(found);
    }
}

// The unit's circuit from PORTC and PORTD: its idle and programming states, and what it
// must never see.
TEST(UnitBoard, RegistersBecomeTheIcspLines) {
    struct Row {
        const char* what;
        AvrPort c;
        AvrPort d;
        bool lowVoltage;
        MclrLevel mclr;
        bool vdd;
        const char* violation;
    };
    const Row rows[] = {
        {"reset: every pin an input", {0, 0}, {0, 0}, false, MclrLevel::Low, false, nullptr},
        {"idle after power-down",
         {0x08, 0x00},
         {0x00, 0xF0},
         false,
         MclrLevel::Released,
         false,
         nullptr},
        {"programming, HV", {0x08, 0x07}, {0x30, 0xF0}, false, MclrLevel::Vihh, true, nullptr},
        {"programming, LVP", {0x0C, 0x07}, {0x30, 0xF0}, true, MclrLevel::Vih, true, nullptr},
        {"VPP on with MCLR held low",
         {0x08, 0x07},
         {0x70, 0xF0},
         false,
         MclrLevel::Low,
         true,
         "11 mA through R5"},
        {"a pull-up on PGD",
         {0x0A, 0x05},
         {0x00, 0xF0},
         false,
         MclrLevel::Released,
         false,
         "pull-up on an ICSP line"},
    };
    for (const Row& row : rows) {
        UnitBoard board(UnitSupplies{.mclrFromFiveVolts = row.lowVoltage});
        const IcspNets nets = board.nets(row.c, row.d, 7);
        EXPECT_EQ(nets.mclr, row.mclr) << row.what;
        EXPECT_EQ(nets.vdd, row.vdd) << row.what;
        if (row.violation) {
            ASSERT_EQ(board.violations().size(), 1u) << row.what;
            EXPECT_NE(board.violations()[0].find(row.violation), std::string::npos) << row.what;
        } else {
            EXPECT_EQ(board.violations(), std::vector<std::string>{}) << row.what;
        }
    }
}

// The target's VDD falls through the bleeder: MCLR may be released once it is below
// 0.7 V, 20 ms after the switch went off; a target with its own supply never falls.
TEST(UnitBoard, MclrIsReleasedOnlyOnceTheTargetsVddHasFallen) {
    const AvrPort lines{0x08, 0x07};
    const AvrPort powered{0x50, 0xF0}; // VDD on, MCLR held low
    const AvrPort down{0x40, 0xF0};
    const AvrPort released{0x00, 0xF0};
    for (const std::uint64_t ms : {10u, 20u}) {
        UnitBoard board;
        board.nets(lines, powered, 0);
        board.nets(lines, down, 16000);
        board.nets(lines, released, 16000 + ms * 16000);
        EXPECT_EQ(board.violations().size(), ms == 10 ? 1u : 0u) << ms;
    }
    UnitBoard own(UnitSupplies{.targetPowered = true});
    own.nets(lines, powered, 0);
    own.nets(lines, released, 16);
    EXPECT_EQ(own.vddSenseMillivolts(16), 5000 * 100 / 570);
    EXPECT_EQ(own.violations(), std::vector<std::string>{});
}
