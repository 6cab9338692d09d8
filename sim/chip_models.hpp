// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaline::sim {

// Programming-interface families of the classic PIC18 parts; they differ in erase keys,
// write buffers, timings and the meaning of table-write command 1110.
enum class Family { FXX2, X220, F2XXX, K20, K22 };

// Where the code-protection blocks of a part lie. The boot block is [0, bootEnd); block n
// runs from the end of the block before it (the boot block for block 0) up to blockEnd[n],
// exclusive, and is guarded by bit n of CONFIG5L (CPn) and CONFIG6L (WRTn). A part whose
// CONFIG4L chooses the boot block size (BBSIZ) names those bits in bootSizeBits and gives
// the boot block's end for each value of the field; block 0 then starts later.
struct ProtectionLayout {
    std::uint32_t bootEnd = 0;
    std::array<std::uint32_t, 6> blockEnd{};
    std::uint8_t bootSizeBits = 0;
    std::array<std::uint32_t, 4> bootEndBySize{};
};

struct ChipModel {
    std::string_view name; // upper case, as "18F452"
    Family family;
    std::int32_t flashSize;
    std::int32_t eepromSize;
    // Bytes of the code write buffer (per 8 KB panel on FXX2).
    std::int32_t writeBuffer;
    // DEVID2:DEVID1 with the revision bits zero, and the bits that name the part.
    std::uint16_t deviceId;
    std::uint16_t deviceIdMask;
    // What a bulk-erased chip reads from CONFIG1L .. CONFIG7H.
    std::array<std::uint8_t, 14> configErased;
    // Bits that exist; the others read 0 whatever is written.
    std::array<std::uint8_t, 14> configMask;
    ProtectionLayout protection;
};

// Family timing, in microseconds.
struct FamilyTiming {
    std::int64_t codePulse;   // P9: programming pulse for code and ID words
    std::int64_t configPulse; // P9 or P9A for configuration bytes
    std::int64_t bulkErase;   // P11 for the chip erase
    std::int64_t eepromWrite; // how long EECON1.WR stays set for a data EEPROM write
    std::int64_t discharge;   // P10: PGC low after a programming pulse or an erase
};

FamilyTiming timingOf(Family family);
std::string_view familyName(Family family);

// The chip's own table of models, kept apart from devices.cfg so that a wrong record there
// is caught rather than mirrored. Nothing when the name is unknown (any letter case, an
// optional "PIC" in front).
const ChipModel* findChipModel(std::string_view name);
const ChipModel* chipModels(std::size_t& count);

} // namespace tessaline::sim
