// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/unit_protocol.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

class SettingsStore;

// The remembered options, read from the settings store into the values the programs work
// with: the window at its start, the command-line tool for what its options leave open.
struct RestoredSettings {
    // The folder the file dialogs offer first.
    std::string lastPath;
    // The selected model, 1-based, always within the device table.
    std::int32_t model = 1;
    // The serial port number as stored, read leniently (its users check its range).
    std::int32_t portNumber = 2;
    // The baud rate as the user entered it, in decimal.
    std::string baudRate;
    bool verifyAfterProgram = true;
    std::int32_t unitDelayMs = 0;
};

// What a restore does with a missing or unusable value: the window writes back the value
// it starts with, so that the store shows what is in effect; the command-line tool leaves
// the store as it is.
enum class StoreRepair { WriteBack, LeaveAlone };

// Reads every remembered option; a value that is missing or out of range gives its
// default (the model 1 when the stored number lies outside 1..modelCount). Without a store,
// every default.
RestoredSettings restoreSettings(const SettingsStore* store, std::int32_t modelCount,
                                 const std::string& defaultLastPath, StoreRepair repair);

// The unit type stored for the port that opens `device` (as portSettingDevice gives it);
// original when none is stored, or without a store.
CommandSet restoreUnitType(const SettingsStore* store, const std::string& device,
                           StoreRepair repair);
// The fast rate stored for that port; 1,000,000 baud when none is stored, or without a
// store; 0 runs a reference unit reply-paced.
std::int32_t restoreFastBaud(const SettingsStore* store, const std::string& device,
                             StoreRepair repair);

} // namespace tessaline
