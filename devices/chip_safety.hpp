// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/device_table.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

// DEVID2:DEVID1 as read from 3FFFFFh:3FFFFEh, and the bits of it that name the part (the
// rest are the silicon revision).
struct DeviceIdSpec {
    std::uint16_t id = 0;
    std::uint16_t mask = 0xFFFF;

    bool matches(std::uint16_t read) const { return (read & mask) == (id & mask); }
};

// A configuration bit that code-protects addresses: while the bit is 0 they read 00h
// through the programming interface. Addresses are those of a HEX file: FLASH from 0,
// the data EEPROM from F00000h. A range may hold only when other configuration bits
// have a value (the boot block size, for example).
struct ProtectedRange {
    std::size_t configIndex = 0; // CONFIG1L .. CONFIG7H as 0 .. 13
    std::uint8_t bit = 0;        // 0 .. 7
    std::int32_t first = 0;
    std::int32_t last = 0;
    struct Condition {
        std::size_t configIndex = 0;
        std::uint8_t mask = 0;
        std::uint8_t value = 0;
    };
    std::optional<Condition> when;
};

// What a model's record says about telling the right chip and judging what it reads back.
// A record without these keys leaves them empty, and the program then compares as it
// always did: no device ID check, every configuration bit, no protected range.
struct ChipSafety {
    std::optional<DeviceIdSpec> deviceId;
    std::optional<std::array<std::uint8_t, 14>> configMask;
    std::vector<ProtectedRange> protection;
    // The first malformed value, as "FILE:LINE: The deviceid value '...' ..."; the model's
    // operations are refused while there is one.
    std::optional<std::string> error;

    // The bits of a configuration byte that a comparison takes into account.
    std::uint8_t compareMask(std::size_t configIndex) const {
        return configMask ? (*configMask)[configIndex] : 0xFF;
    }
    // True when the configuration bytes code-protect the address (HEX-file address).
    bool protects(const ConfigValues& config, std::int32_t address) const;
};

ChipSafety parseChipSafety(const DeviceModel& record);

// The value of a "deviceid:" field: four hexadecimal digits, then optionally a blank and
// the mask in four more; nothing when it is not of that form.
std::optional<DeviceIdSpec> parseDeviceId(std::string_view value);

} // namespace tessaline
