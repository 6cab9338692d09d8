// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/chip_safety.hpp"
#include "devices/config_settings.hpp"
#include "devices/device_script.hpp"
#include "devices/device_table.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// The PIC18 program space ends where the ID locations begin, and EEPROM images lie
// from F00000h within one 64 KiB segment of a HEX file: larger sizes in a device
// file are cut to these, so that no record can make the buffer exhaust memory.
inline constexpr std::int32_t kMaxFlashSize = 0x200000;
inline constexpr std::int32_t kMaxEepromSize = 0x10000;

// Values derived from the selected record, read by the buffer, the engine and the window.
struct SelectedModelValues {
    std::string SelectedModelName;
    std::int32_t FlashSize = 0;
    std::int32_t EepromSize = 0;
    ConfigValues ConfigErased{};
    // 1: supply before programming voltage ("vddvpp"); 2: the reverse ("vppvdd");
    // 0 until a model with a valid sequence was applied.
    std::int32_t VoltageSequence = 0;
    // The line that set VoltageSequence.
    SourceLine VoltageSequenceSource;
    std::int32_t ProgTime = 0;
    // The line that set ProgTime.
    SourceLine ProgTimeSource;
    DeviceScript EraseScript = decodeScript("");
    DeviceScript ProgramScript = decodeScript("");
    DeviceScript ReadScript = decodeScript("");
    DeviceScript BlankCheckScript = decodeScript("");
    DeviceScript VerifyScript = decodeScript("");
    // The device ID, configuration masks and protected ranges, when the record has them.
    // Its error is the first size or programming time that is not decimal digits, else
    // the first malformed value of these keys and of the named settings.
    ChipSafety Safety;
    // The named configuration settings, when the record has them.
    ConfigSettings Settings;
};

// Sets every selected-model value from the record and decodes its scripts; an
// unrecognised voltage sequence keeps the previous one.
void ApplySelectedModel(const DeviceModel& record, SelectedModelValues& values);

// The 14 erased configuration values of a "configerased:" field, -1 for a pair that is
// not two hexadecimal digits.
ConfigValues parseConfigErased(std::string_view value);

} // namespace tessaline
