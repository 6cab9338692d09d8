#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/device_table.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

using Script = std::vector<std::string>;

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
    std::int32_t ProgTime = 0;
    Script EraseScript{""};
    Script ProgramScript{""};
    Script ReadScript{""};
    Script BlankCheckScript{""};
    Script VerifyScript{""};
};

// Sets every selected-model value from the record; an unrecognised voltage sequence
// keeps the previous one.
void ApplySelectedModel(const DeviceModel& record, SelectedModelValues& values);

// Splits a script value at commas, in lower case; blanks stay part of the words, a
// final comma adds no word and an empty value gives one empty word.
Script splitScript(std::string_view value);

// The 14 erased configuration values of a "configerased:" field, -1 for a pair that is
// not two hexadecimal digits.
ConfigValues parseConfigErased(std::string_view value);

} // namespace tessaline
