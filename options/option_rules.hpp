// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/unit_protocol.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline {

// The four remembered options (model, serial port number, baud rate) and the programming
// time: their names in the settings store, their defaults, and what an entry makes of
// them. The window's dialogs and start-up and the command-line tool all go by these.

inline constexpr const char* kSettingLastPath = "Last Path";
inline constexpr const char* kSettingModel = "Microcontroller Model";
inline constexpr const char* kSettingPortNumber = "Serial Port Number";
inline constexpr const char* kSettingBaudRate = "Serial Port Baud Rate";
// "1" or "0": Program All reads back and checks what it wrote.
inline constexpr const char* kSettingVerifyAfterProgram = "Verify After Program All";
// Milliseconds to wait after the serial port opens, discarding whatever arrives meanwhile:
// a unit that resets when its port opens (an Arduino with its bootloader) is still
// starting up and may send bytes of its own.
inline constexpr const char* kSettingUnitDelay = "Unit Start-Up Delay";
// The programmer unit on each serial port, "original" or "reference": one value in this
// group per port, named after the device that the port opens (unitTypeSettingName).
inline constexpr const char* kSettingUnitType = "Unit Type";
// The rate of a reference unit's fast mode on each serial port, in baud, named as the unit
// type's (fastBaudSettingName); "0" runs every operation reply-paced.
inline constexpr const char* kSettingFastBaud = "Fast Baud Rate";

inline constexpr const char* kDefaultModel = "1";
inline constexpr const char* kDefaultPortNumber = "2";
inline constexpr const char* kDefaultBaudRate = "56000";
inline constexpr const char* kDefaultVerifyAfterProgram = "1";
inline constexpr const char* kDefaultUnitDelay = "0";
inline constexpr const char* kDefaultUnitType = "original";
inline constexpr const char* kDefaultFastBaud = "1000000";
// The rates of fast mode that the settings and the command line take: 500000 for an
// adapter that cannot do 1,000,000 baud.
inline constexpr std::int32_t kFastBauds[] = {250000, 500000, 1000000, 2000000};

// What a dialog makes of an entry: take the value, keep the current one without a word
// (an empty entry, Cancel), or keep it and tell the user "Wrong entry!".
enum class EntryVerdict { Take, Keep, Wrong };

template <typename T> struct OptionEntry {
    EntryVerdict verdict = EntryVerdict::Keep;
    T value{};
};

// The stored model number when it lies in 1..modelCount; nothing otherwise (start-up
// then selects model 1 and stores that).
std::optional<std::int32_t> storedModel(std::string_view stored, std::int32_t modelCount);

// The model dialog: its entry read as a whole number (2.4 gives 2), taken when it lies in
// 1..modelCount; anything else keeps the model without a word.
OptionEntry<std::int32_t> modelEntry(std::string_view entry, std::int32_t modelCount);

// The stored serial port number, read leniently.
std::int32_t storedPortNumber(std::string_view stored);

// The port dialog: exactly "1" .. "8"; an empty entry keeps the port; anything else
// ("01", " 1", "9") is wrong.
OptionEntry<std::int32_t> portEntry(std::string_view entry);

// The baud-rate dialog: the entry's leading number; 0 (also no number) keeps the rate,
// 1200 .. 56000 is taken as written back in decimal (9600.5 stays 9600.5), anything else
// is wrong.
OptionEntry<std::string> baudEntry(std::string_view entry);

// The programming time: an empty entry keeps it; 1 .. 30 ms is taken, rounded half to
// even (2.5 gives 2); anything else is wrong.
OptionEntry<std::int32_t> progTimeEntry(std::string_view entry);

// The unit's start-up delay: an empty entry keeps it; a whole number of milliseconds from
// 0 to 10000 is taken; anything else is wrong.
OptionEntry<std::int32_t> unitDelayEntry(std::string_view entry);
// The stored start-up delay; a value the dialog would not take counts as 0.
std::int32_t storedUnitDelay(std::string_view stored);

// The setting that holds the unit type of the port that opens `device` (its path with
// links resolved): "Unit Type/dev/ttyUSB0", "Unit Type/COM2".
std::string unitTypeSettingName(std::string_view device);
// The unit type as the settings and the command line write it: "original" or
// "reference"; nothing for any other text.
std::optional<CommandSet> unitTypeEntry(std::string_view text);
const char* unitTypeText(CommandSet type);
// The stored unit type; a value that is no unit type counts as original, whose bytes and
// reply rules are the safe ones for a unit of either type.
CommandSet storedUnitType(std::string_view stored);

// The setting that holds the fast rate of the port that opens `device`:
// "Fast Baud Rate/dev/ttyUSB0".
std::string fastBaudSettingName(std::string_view device);
// A fast rate as the settings and the command line write it: one of kFastBauds, or 0 for
// none (reply-paced); nothing for any other text.
std::optional<std::int32_t> fastBaudEntry(std::string_view text);
// The stored fast rate; a value that is no fast rate counts as the default.
std::int32_t storedFastBaud(std::string_view stored);

// The serial settings text for a baud rate: no parity, 8 data bits, 1 stop bit.
std::string serialSettingsText(const std::string& baudRate);

// A number as decimal text: whole numbers without a point, fractions with one.
std::string decimalText(double value);

} // namespace tessaline
