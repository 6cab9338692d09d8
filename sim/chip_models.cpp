// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/chip_models.hpp"

#include <cctype>
#include <string>

namespace tessaline::sim {

namespace {

using Bytes = std::array<std::uint8_t, 14>;

// Erased values and implemented bits of CONFIG1L .. CONFIG7H, from the programming
// documents' configuration tables (DS39576B Table 5-2, DS39592E Tables 5-2/5-3,
// DS39622L Tables 5-1 and 5-5, DS41297D and DS41398B Table 5-1). On the FXX2 and X220 parts
// every implemented bit erases to 1, so the erased value is the mask. CP, WRT and EBTR bits
// of blocks a part does not have are taken as unimplemented: they read 0.
constexpr Bytes kFxx2Large{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85,
                           0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kFxx2Small{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85,
                           0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
// The XX8 parts have no CCP2MX: CONFIG3H is empty.
constexpr Bytes kFxx8Large{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x00, 0x85,
                           0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kFxx8Small{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x00, 0x85,
                           0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kX1x20{0x00, 0xCF, 0x0F, 0x1F, 0x00, 0x80, 0x85,
                       0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kX220Small{0x00, 0xCF, 0x0F, 0x1F, 0x00, 0x83, 0x85,
                           0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kX320Large{0x00, 0xCF, 0x0F, 0x1F, 0x00, 0x83, 0x85,
                           0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};

// 2221/2321/4221/4321: CONFIG4L holds BBSIZ<1:0> in bits 5:4.
constexpr Bytes k2221Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2221Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xF5,
                          0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2420Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2420Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
// Parts without data EEPROM have no CPD (CONFIG5H bit 7) and no WRTD (CONFIG6H bit 7); but
// for those bits 2410/4410 are as 2420, 2510/4510 and 2610/4610 as 2520, 2515/4515 as 2525.
constexpr Bytes k2410Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x03, 0x40, 0x03, 0x60, 0x03, 0x40};
constexpr Bytes k2410Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x03, 0x40, 0x03, 0x60, 0x03, 0x40};
// 2450/4450: USB, no data EEPROM (no CPD or WRTD), BBSIZ in CONFIG4L bit 3, ICPRT in
// bit 5.
constexpr Bytes k2450Erased{0x00, 0x05, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x03, 0x40, 0x03, 0x60, 0x03, 0x40};
constexpr Bytes k2450Mask{0x3F, 0xCF, 0x3F, 0x1F, 0x00, 0x86, 0xED,
                          0x00, 0x03, 0x40, 0x03, 0x60, 0x03, 0x40};
constexpr Bytes k2455Erased{0x00, 0x05, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
constexpr Bytes k2455Mask{0x3F, 0xCF, 0x3F, 0x1F, 0x00, 0x87, 0xE5,
                          0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
// 2480/4480 and 2580/4580 (ECAN): no CCP2MX, BBSIZ in CONFIG4L bit 4.
constexpr Bytes k2480Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2480Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x86, 0xD5,
                          0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2580Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2580Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x86, 0xD5,
                          0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2510Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x0F, 0x40, 0x0F, 0x60, 0x0F, 0x40};
constexpr Bytes k2510Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x0F, 0x40, 0x0F, 0x60, 0x0F, 0x40};
constexpr Bytes k2520Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2520Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2550Erased{0x00, 0x05, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2550Mask{0x3F, 0xCF, 0x3F, 0x1F, 0x00, 0x87, 0xE5,
                          0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
// 48 KB parts: three blocks after the boot block.
constexpr Bytes k2515Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x07, 0x40, 0x07, 0x60, 0x07, 0x40};
constexpr Bytes k2515Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x07, 0x40, 0x07, 0x60, 0x07, 0x40};
constexpr Bytes k2525Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
constexpr Bytes k2525Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
// 2585/2680/2682/2685 (ECAN): no CCP2MX, BBSIZ<1:0> in CONFIG4L bits 5:4.
constexpr Bytes k2585Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
constexpr Bytes k2585Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x86, 0xF5,
                          0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
constexpr Bytes k2680Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2680Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x86, 0xF5,
                          0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2682Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x1F, 0xC0, 0x1F, 0xE0, 0x1F, 0x40};
constexpr Bytes k2682Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x86, 0xF5,
                          0x00, 0x1F, 0xC0, 0x1F, 0xE0, 0x1F, 0x40};
constexpr Bytes k2685Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x82, 0x85,
                            0x00, 0x3F, 0xC0, 0x3F, 0xE0, 0x3F, 0x40};
constexpr Bytes k2685Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x86, 0xF5,
                          0x00, 0x3F, 0xC0, 0x3F, 0xE0, 0x3F, 0x40};

constexpr Bytes kK20LargeErased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x8B, 0x85,
                                0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK20LargeMask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x8F, 0xC5,
                              0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK20SmallErased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x8B, 0x85,
                                0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kK20SmallMask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x8F, 0xC5,
                              0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kK22LargeErased{0x00, 0x25, 0x1F, 0x3F, 0x00, 0xBF, 0x85,
                                0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK22LargeMask{0x00, 0xFF, 0x1F, 0x3F, 0x00, 0xBF, 0xC5,
                              0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK22SmallErased{0x00, 0x25, 0x1F, 0x3F, 0x00, 0xBF, 0x85,
                                0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kK22SmallMask{0x00, 0xFF, 0x1F, 0x3F, 0x00, 0xBF, 0xC5,
                              0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};

// Code-protection blocks: DS39576B Fig. 2-2; DS39592E Figs. 2-7/2-8 and Table 5-4;
// DS39622L Figs. 2-3 to 2-8 and Tables 5-3/5-4 (the boot block sizes that BBSIZ selects, in
// words: 2221 256/512; 2321 256/512/1K; 2450, 2480 and 2580 1K/2K; 2585 to 2685 1K/2K/4K).
constexpr ProtectionLayout kFxx2Blocks16{0x200, {0x2000, 0x4000}};
constexpr ProtectionLayout kFxx2Blocks32{0x200, {0x2000, 0x4000, 0x6000, 0x8000}};
constexpr ProtectionLayout kX220Blocks4{0x200, {0x800, 0x1000}};
constexpr ProtectionLayout kX1320Blocks{0x200, {0x1000, 0x2000}};
constexpr ProtectionLayout kX320Blocks{0x200, {0x800, 0x1000, 0x1800, 0x2000}};
constexpr ProtectionLayout k2221Blocks{0x200, {0x800, 0x1000}, 0x30, {0x200, 0x400, 0x400, 0x400}};
constexpr ProtectionLayout k2321Blocks{0x200, {0x1000, 0x2000}, 0x30, {0x200, 0x400, 0x800, 0x800}};
constexpr ProtectionLayout kK8Blocks{0x200, {0x1000, 0x2000}};
constexpr ProtectionLayout kBlocks16{0x800, {0x2000, 0x4000}};
constexpr ProtectionLayout k2450Blocks{0x800, {0x2000, 0x4000}, 0x08, {0x800, 0x1000}};
constexpr ProtectionLayout k2480Blocks{0x800, {0x2000, 0x4000}, 0x10, {0x800, 0x1000}};
constexpr ProtectionLayout kBlocks24{0x800, {0x2000, 0x4000, 0x6000}};
constexpr ProtectionLayout kBlocks32{0x800, {0x2000, 0x4000, 0x6000, 0x8000}};
constexpr ProtectionLayout k2580Blocks{
    0x800, {0x2000, 0x4000, 0x6000, 0x8000}, 0x10, {0x800, 0x1000}};
constexpr ProtectionLayout kBlocks48{0x800, {0x4000, 0x8000, 0xC000}};
constexpr ProtectionLayout k2585Blocks{
    0x800, {0x4000, 0x8000, 0xC000}, 0x30, {0x800, 0x1000, 0x2000, 0x2000}};
constexpr ProtectionLayout kBlocks64{0x800, {0x4000, 0x8000, 0xC000, 0x10000}};
constexpr ProtectionLayout k2680Blocks{
    0x800, {0x4000, 0x8000, 0xC000, 0x10000}, 0x30, {0x800, 0x1000, 0x2000, 0x2000}};
constexpr ProtectionLayout k2682Blocks{
    0x800, {0x4000, 0x8000, 0xC000, 0x10000, 0x14000}, 0x30, {0x800, 0x1000, 0x2000, 0x2000}};
constexpr ProtectionLayout k2685Blocks{0x800,
                                       {0x4000, 0x8000, 0xC000, 0x10000, 0x14000, 0x18000},
                                       0x30,
                                       {0x800, 0x1000, 0x2000, 0x2000}};

// Sizes, write buffers and device IDs: DS39576B Tables 2-2/5-1, DS39592E Tables 2-2/5-1,
// DS39622L Tables 3-4/5-2/5-4 and section 3.3, DS41297D and DS41398B Tables 2-2/3-4/5-2.
// The 2420/2520/4420/4520 share their device IDs with the 2423/2523/4423/4523 and differ
// in REV4, which their mask keeps.
constexpr ChipModel kModels[] = {
    {"18F242", Family::FXX2, 16384, 256, 8, 0x0480, 0xFFE0, kFxx2Small, kFxx2Small, kFxx2Blocks16},
    {"18F252", Family::FXX2, 32768, 256, 8, 0x0400, 0xFFE0, kFxx2Large, kFxx2Large, kFxx2Blocks32},
    {"18F442", Family::FXX2, 16384, 256, 8, 0x04A0, 0xFFE0, kFxx2Small, kFxx2Small, kFxx2Blocks16},
    {"18F452", Family::FXX2, 32768, 256, 8, 0x0420, 0xFFE0, kFxx2Large, kFxx2Large, kFxx2Blocks32},
    {"18F248", Family::FXX2, 16384, 256, 8, 0x0800, 0xFFE0, kFxx8Small, kFxx8Small, kFxx2Blocks16},
    {"18F258", Family::FXX2, 32768, 256, 8, 0x0840, 0xFFE0, kFxx8Large, kFxx8Large, kFxx2Blocks32},
    {"18F448", Family::FXX2, 16384, 256, 8, 0x0820, 0xFFE0, kFxx8Small, kFxx8Small, kFxx2Blocks16},
    {"18F458", Family::FXX2, 32768, 256, 8, 0x0860, 0xFFE0, kFxx8Large, kFxx8Large, kFxx2Blocks32},
    {"18F1220", Family::X220, 4096, 256, 8, 0x07E0, 0xFFE0, kX1x20, kX1x20, kX220Blocks4},
    {"18F1320", Family::X220, 8192, 256, 8, 0x07C0, 0xFFE0, kX1x20, kX1x20, kX1320Blocks},
    {"18F2220", Family::X220, 4096, 256, 8, 0x0580, 0xFFE0, kX220Small, kX220Small, kX220Blocks4},
    {"18F2320", Family::X220, 8192, 256, 8, 0x0500, 0xFFE0, kX320Large, kX320Large, kX320Blocks},
    {"18F4220", Family::X220, 4096, 256, 8, 0x05A0, 0xFFE0, kX220Small, kX220Small, kX220Blocks4},
    {"18F4320", Family::X220, 8192, 256, 8, 0x0520, 0xFFE0, kX320Large, kX320Large, kX320Blocks},
    {"18F2221", Family::F2XXX, 4096, 256, 8, 0x2160, 0xFFE0, k2221Erased, k2221Mask, k2221Blocks},
    {"18F2321", Family::F2XXX, 8192, 256, 8, 0x2120, 0xFFE0, k2221Erased, k2221Mask, k2321Blocks},
    {"18F4221", Family::F2XXX, 4096, 256, 8, 0x2140, 0xFFE0, k2221Erased, k2221Mask, k2221Blocks},
    {"18F4321", Family::F2XXX, 8192, 256, 8, 0x2100, 0xFFE0, k2221Erased, k2221Mask, k2321Blocks},
    {"18F2410", Family::F2XXX, 16384, 0, 32, 0x1160, 0xFFE0, k2410Erased, k2410Mask, kBlocks16},
    {"18F2420", Family::F2XXX, 16384, 256, 32, 0x1140, 0xFFF0, k2420Erased, k2420Mask, kBlocks16},
    {"18F2423", Family::F2XXX, 16384, 256, 32, 0x1150, 0xFFF0, k2420Erased, k2420Mask, kBlocks16},
    {"18F2450", Family::F2XXX, 16384, 0, 16, 0x2420, 0xFFE0, k2450Erased, k2450Mask, k2450Blocks},
    {"18F2455", Family::F2XXX, 24576, 256, 32, 0x1260, 0xFFE0, k2455Erased, k2455Mask, kBlocks24},
    {"18F2458", Family::F2XXX, 24576, 256, 32, 0x2A60, 0xFFE0, k2455Erased, k2455Mask, kBlocks24},
    {"18F2480", Family::F2XXX, 16384, 256, 32, 0x1AE0, 0xFFE0, k2480Erased, k2480Mask, k2480Blocks},
    {"18F2510", Family::F2XXX, 32768, 0, 32, 0x1120, 0xFFE0, k2510Erased, k2510Mask, kBlocks32},
    {"18F2515", Family::F2XXX, 49152, 0, 64, 0x0CE0, 0xFFE0, k2515Erased, k2515Mask, kBlocks48},
    {"18F2520", Family::F2XXX, 32768, 256, 32, 0x1100, 0xFFF0, k2520Erased, k2520Mask, kBlocks32},
    {"18F2523", Family::F2XXX, 32768, 256, 32, 0x1110, 0xFFF0, k2520Erased, k2520Mask, kBlocks32},
    {"18F2525", Family::F2XXX, 49152, 1024, 64, 0x0CC0, 0xFFE0, k2525Erased, k2525Mask, kBlocks48},
    {"18F2550", Family::F2XXX, 32768, 256, 32, 0x1240, 0xFFE0, k2550Erased, k2550Mask, kBlocks32},
    {"18F2553", Family::F2XXX, 32768, 256, 32, 0x2A40, 0xFFE0, k2550Erased, k2550Mask, kBlocks32},
    {"18F2580", Family::F2XXX, 32768, 256, 32, 0x1AC0, 0xFFE0, k2580Erased, k2580Mask, k2580Blocks},
    {"18F2585", Family::F2XXX, 49152, 1024, 64, 0x0EE0, 0xFFE0, k2585Erased, k2585Mask,
     k2585Blocks},
    {"18F2610", Family::F2XXX, 65536, 0, 64, 0x0CA0, 0xFFE0, k2510Erased, k2510Mask, kBlocks64},
    {"18F2620", Family::F2XXX, 65536, 1024, 64, 0x0C80, 0xFFE0, k2520Erased, k2520Mask, kBlocks64},
    {"18F2680", Family::F2XXX, 65536, 1024, 64, 0x0EC0, 0xFFE0, k2680Erased, k2680Mask,
     k2680Blocks},
    {"18F2682", Family::F2XXX, 81920, 1024, 64, 0x2700, 0xFFE0, k2682Erased, k2682Mask,
     k2682Blocks},
    {"18F2685", Family::F2XXX, 98304, 1024, 64, 0x2720, 0xFFE0, k2685Erased, k2685Mask,
     k2685Blocks},
    {"18F4410", Family::F2XXX, 16384, 0, 32, 0x10E0, 0xFFE0, k2410Erased, k2410Mask, kBlocks16},
    {"18F4420", Family::F2XXX, 16384, 256, 32, 0x10C0, 0xFFF0, k2420Erased, k2420Mask, kBlocks16},
    {"18F4423", Family::F2XXX, 16384, 256, 32, 0x10D0, 0xFFF0, k2420Erased, k2420Mask, kBlocks16},
    {"18F4450", Family::F2XXX, 16384, 0, 16, 0x2400, 0xFFE0, k2450Erased, k2450Mask, k2450Blocks},
    {"18F4455", Family::F2XXX, 24576, 256, 32, 0x1220, 0xFFE0, k2455Erased, k2455Mask, kBlocks24},
    {"18F4458", Family::F2XXX, 24576, 256, 32, 0x2A20, 0xFFE0, k2455Erased, k2455Mask, kBlocks24},
    {"18F4480", Family::F2XXX, 16384, 256, 32, 0x1AA0, 0xFFE0, k2480Erased, k2480Mask, k2480Blocks},
    {"18F4510", Family::F2XXX, 32768, 0, 32, 0x10A0, 0xFFE0, k2510Erased, k2510Mask, kBlocks32},
    {"18F4515", Family::F2XXX, 49152, 0, 64, 0x0C60, 0xFFE0, k2515Erased, k2515Mask, kBlocks48},
    {"18F4520", Family::F2XXX, 32768, 256, 32, 0x1080, 0xFFF0, k2520Erased, k2520Mask, kBlocks32},
    {"18F4523", Family::F2XXX, 32768, 256, 32, 0x1090, 0xFFF0, k2520Erased, k2520Mask, kBlocks32},
    {"18F4525", Family::F2XXX, 49152, 1024, 64, 0x0C40, 0xFFE0, k2525Erased, k2525Mask, kBlocks48},
    {"18F4550", Family::F2XXX, 32768, 256, 32, 0x1200, 0xFFE0, k2550Erased, k2550Mask, kBlocks32},
    {"18F4553", Family::F2XXX, 32768, 256, 32, 0x2A00, 0xFFE0, k2550Erased, k2550Mask, kBlocks32},
    {"18F4580", Family::F2XXX, 32768, 256, 32, 0x1A80, 0xFFE0, k2580Erased, k2580Mask, k2580Blocks},
    {"18F4585", Family::F2XXX, 49152, 1024, 64, 0x0EA0, 0xFFE0, k2585Erased, k2585Mask,
     k2585Blocks},
    {"18F4610", Family::F2XXX, 65536, 0, 64, 0x0C20, 0xFFE0, k2510Erased, k2510Mask, kBlocks64},
    {"18F4620", Family::F2XXX, 65536, 1024, 64, 0x0C00, 0xFFE0, k2520Erased, k2520Mask, kBlocks64},
    {"18F4680", Family::F2XXX, 65536, 1024, 64, 0x0E80, 0xFFE0, k2680Erased, k2680Mask,
     k2680Blocks},
    {"18F4682", Family::F2XXX, 81920, 1024, 64, 0x2740, 0xFFE0, k2682Erased, k2682Mask,
     k2682Blocks},
    {"18F4685", Family::F2XXX, 98304, 1024, 64, 0x2760, 0xFFE0, k2685Erased, k2685Mask,
     k2685Blocks},
    {"18F23K20", Family::K20, 8192, 256, 8, 0x20E0, 0xFFE0, kK20SmallErased, kK20SmallMask,
     kK8Blocks},
    {"18F24K20", Family::K20, 16384, 256, 32, 0x20A0, 0xFFE0, kK20SmallErased, kK20SmallMask,
     kBlocks16},
    {"18F25K20", Family::K20, 32768, 256, 32, 0x2060, 0xFFE0, kK20LargeErased, kK20LargeMask,
     kBlocks32},
    {"18F26K20", Family::K20, 65536, 1024, 64, 0x2020, 0xFFE0, kK20LargeErased, kK20LargeMask,
     kBlocks64},
    {"18F43K20", Family::K20, 8192, 256, 8, 0x20C0, 0xFFE0, kK20SmallErased, kK20SmallMask,
     kK8Blocks},
    {"18F44K20", Family::K20, 16384, 256, 32, 0x2080, 0xFFE0, kK20SmallErased, kK20SmallMask,
     kBlocks16},
    {"18F45K20", Family::K20, 32768, 256, 32, 0x2040, 0xFFE0, kK20LargeErased, kK20LargeMask,
     kBlocks32},
    {"18F46K20", Family::K20, 65536, 1024, 64, 0x2000, 0xFFE0, kK20LargeErased, kK20LargeMask,
     kBlocks64},
    {"18F23K22", Family::K22, 8192, 256, 64, 0x5740, 0xFFE0, kK22SmallErased, kK22SmallMask,
     kK8Blocks},
    {"18F24K22", Family::K22, 16384, 256, 64, 0x5640, 0xFFE0, kK22SmallErased, kK22SmallMask,
     kBlocks16},
    {"18F25K22", Family::K22, 32768, 256, 64, 0x5540, 0xFFE0, kK22LargeErased, kK22LargeMask,
     kBlocks32},
    {"18F26K22", Family::K22, 65536, 1024, 64, 0x5440, 0xFFE0, kK22LargeErased, kK22LargeMask,
     kBlocks64},
    {"18F43K22", Family::K22, 8192, 256, 64, 0x5700, 0xFFE0, kK22SmallErased, kK22SmallMask,
     kK8Blocks},
    {"18F44K22", Family::K22, 16384, 256, 64, 0x5600, 0xFFE0, kK22SmallErased, kK22SmallMask,
     kBlocks16},
    {"18F45K22", Family::K22, 32768, 256, 64, 0x5500, 0xFFE0, kK22LargeErased, kK22LargeMask,
     kBlocks32},
    {"18F46K22", Family::K22, 65536, 1024, 64, 0x5400, 0xFFE0, kK22LargeErased, kK22LargeMask,
     kBlocks64},
};

} // namespace

FamilyTiming timingOf(Family family) {
    switch (family) {
    case Family::FXX2:
    case Family::X220:
        return {1000, 1000, 5000, 5000, 5};
    case Family::F2XXX:
        return {1000, 1000, 5000, 4000, 100};
    case Family::K20:
        return {1000, 5000, 5000, 4000, 100};
    case Family::K22:
        return {1000, 5000, 15000, 4000, 200};
    }
    return {1000, 1000, 5000, 5000, 100};
}

std::string_view familyName(Family family) {
    switch (family) {
    case Family::FXX2:
        return "PIC18FXX2/XX8";
    case Family::X220:
        return "PIC18FX220/X320";
    case Family::F2XXX:
        return "PIC18F2XXX/4XXX";
    case Family::K20:
        return "PIC18F2XK20/4XK20";
    case Family::K22:
        return "PIC18F2XK22/4XK22";
    }
    return {};
}

const ChipModel* findChipModel(std::string_view name) {
    std::string wanted;
    for (char c : name)
        wanted.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (wanted.starts_with("PIC"))
        wanted.erase(0, 3);
    for (const ChipModel& model : kModels)
        if (model.name == wanted)
            return &model;
    return nullptr;
}

const ChipModel* chipModels(std::size_t& count) {
    count = std::size(kModels);
    return kModels;
}

} // namespace tessaline::sim
