// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/device_table.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// One choice of a configuration setting: its name as the toolchains write it in a CONFIG
// directive ("HSPLL"), the bits it puts under the setting's mask, and a short explanation
// ("HS oscillator, PLL enabled"), empty where the record gives none.
struct ConfigOption {
    std::string name;
    std::uint8_t value = 0;
    std::string explanation;
};

// A named field of one configuration byte ("OSC", bits 0Fh of CONFIG1H) with its options,
// and the option that a bulk-erased chip has.
struct ConfigSetting {
    std::size_t configIndex = 0; // CONFIG1L .. CONFIG7H as 0 .. 13
    std::string name;
    std::uint8_t mask = 0;
    std::string title; // "Oscillator Selection bits", or empty
    std::vector<ConfigOption> options;
    // The option a bulk-erased chip has; none where no option has its bits ("-").
    std::optional<std::size_t> blankOption;
    SourceLine source;

    // The option that the byte's bits under the mask select; none when no option has
    // them, or the byte is not known (-1).
    const ConfigOption* optionOf(std::int32_t byte) const;
    // An option by its name, in any letter case.
    const ConfigOption* findOption(std::string_view wanted) const;
    // "HSPLL", or "? (bits 0Ah)" when no option has the byte's bits.
    std::string choiceText(std::int32_t byte) const;
    // "OSC = HSPLL", or "OSC = ? (bits 0Ah)".
    std::string text(std::int32_t byte) const;
    // "LP, XT, HS, ..." for a message that lists them.
    std::string optionNames() const;
};

// The named settings of a model, from its "setting:" and "option:" lines.
struct ConfigSettings {
    std::vector<ConfigSetting> settings; // in file order
    // The first malformed line, as "FILE:LINE: The setting ..."; no settings then.
    std::optional<std::string> error;

    bool empty() const { return settings.empty(); }
    // A setting by its name, in any letter case.
    const ConfigSetting* find(std::string_view wanted) const;
    // The settings of one configuration byte, in file order.
    std::vector<const ConfigSetting*> ofByte(std::size_t configIndex) const;
    // The bits of a configuration byte that some setting covers.
    std::uint8_t namedBits(std::size_t configIndex) const;
    // "OSC, OSCS, PWRT, ..." for a message that lists them.
    std::string names() const;
};

// Reads a record's settings and checks them: each setting lies within its byte's
// configmask and apart from the other settings of the byte, and its blank option is what
// configerased gives (where the record has those keys and they are well formed).
ConfigSettings parseConfigSettings(const DeviceModel& record,
                                   const std::optional<std::array<std::uint8_t, 14>>& configMask,
                                   const ConfigValues& configErased);

// Puts the option's bits into the setting's byte and keeps the byte's other bits; a byte
// that is not known (-1) starts from 0.
void applyOption(ConfigValues& config, const ConfigSetting& setting, const ConfigOption& option);

} // namespace tessaline
