// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/config_command.hpp"

#include "app/hex_file_io.hpp"
#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "cli/cli_app.hpp"

#include <algorithm>
#include <ostream>
#include <string_view>

namespace tessaline {

namespace {

std::string byteText(std::int32_t value) {
    return value < 0 ? std::string("--") : Hex2(value) + "h";
}

// "  bits outside configmask: 02h, blank 00h" when those bits differ from a blank chip's.
void noteBits(std::string& text, const char* what, std::uint8_t bits, std::int32_t value,
              std::int32_t erased) {
    if (bits == 0 || value < 0 || erased < 0 || ((value ^ erased) & bits) == 0)
        return;
    text += std::string("  bits ") + what + ": " + Hex2(value & bits) + "h, blank " +
            Hex2(erased & bits) + "h\n";
}

struct Change {
    const ConfigSetting* setting;
    const ConfigOption* option;
};

} // namespace

bool hasSettingForm(const std::string& word) {
    const auto isName = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '_';
        });
    };
    const std::string_view text = word;
    const std::size_t equals = text.find('=');
    return equals != std::string_view::npos && isName(text.substr(0, equals)) &&
           isName(text.substr(equals + 1));
}

std::string configurationText(const SelectedModelValues& model, const ConfigValues& config) {
    const ConfigSettings& settings = model.Settings;
    // The explanations start in one column, after the longest "NAME = OPTION".
    std::size_t width = 0;
    for (const ConfigSetting& setting : settings.settings)
        width = std::max(width, setting.text(config[setting.configIndex]).size());
    std::string text;
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k) {
        const std::int32_t value = config[k];
        text += "CONFIG" + std::string(kConfigBytes[k].gridCaption) + " " +
                Hex6(kConfigBytes[k].address) + "h = " + byteText(value) + "\n";
        for (const ConfigSetting* setting : settings.ofByte(k)) {
            std::string line = "  " + setting->text(value);
            const ConfigOption* option = setting->optionOf(value);
            if (option && !option->explanation.empty()) {
                line.resize(2 + width + 2, ' ');
                line += option->explanation;
            }
            text += line + "\n";
        }
        const std::int32_t erased = model.ConfigErased[k];
        const std::uint8_t mask = model.Safety.compareMask(k);
        noteBits(text, "outside configmask", static_cast<std::uint8_t>(~mask), value, erased);
        noteBits(text, "that no setting names",
                 static_cast<std::uint8_t>(mask & ~settings.namedBits(k)), value, erased);
    }
    return text;
}

int runConfigCommand(const std::vector<std::string>& operands, ProgrammerState& state,
                     std::ostream& out, std::ostream& err, bool allowNoEof) {
    const SelectedModelValues& model = state.model;
    if (model.Settings.error) {
        err << "tessaline-cli: " << *model.Settings.error << '\n';
        return kExitFault;
    }
    if (model.Settings.empty()) {
        err << "tessaline-cli: the device file names no configuration settings for "
            << model.SelectedModelName << '\n';
        return kExitUsage;
    }
    // Every change is checked before anything is read or written.
    std::vector<Change> changes;
    for (std::size_t i = 2; i < operands.size(); ++i) {
        const std::string& word = operands[i];
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == word.size()) {
            err << "tessaline-cli: '" << word << "' is not of the form NAME=OPTION\n";
            return kExitUsage;
        }
        const std::string name = word.substr(0, equals);
        const std::string optionName = word.substr(equals + 1);
        const ConfigSetting* setting = model.Settings.find(name);
        if (!setting) {
            err << "tessaline-cli: " << model.SelectedModelName << " has no setting '" << name
                << "'; its settings are " << model.Settings.names() << '\n';
            return kExitUsage;
        }
        const ConfigOption* option = setting->findOption(optionName);
        if (!option) {
            err << "tessaline-cli: " << setting->name << " has no option '" << optionName
                << "'; its options are " << setting->optionNames() << '\n';
            return kExitUsage;
        }
        // The same setting twice: one option may pass, two are a contradiction that no
        // order of the words should settle.
        const auto earlier = std::find_if(changes.begin(), changes.end(),
                                          [&](const Change& c) { return c.setting == setting; });
        if (earlier == changes.end()) {
            changes.push_back({setting, option});
        } else if (earlier->option != option) {
            err << "tessaline-cli: " << setting->name << " is given twice, as "
                << earlier->option->name << " and as " << option->name << "; nothing was written\n";
            return kExitUsage;
        }
    }
    const std::string& input = operands[0];
    const HexLoadOutcome loaded = loadHexFile(input, state);
    if (loaded.status != HexLoadOutcome::Status::Loaded) {
        const bool faulty = loaded.status == HexLoadOutcome::Status::Faulty;
        err << "tessaline-cli: " << (faulty ? "" : "cannot read ") << input << ": "
            << loaded.message << '\n';
        return faulty ? kExitFault : kExitUsage;
    }
    if (operands.size() > 1) {
        // The written file would end with the record and pass for complete.
        if (!loaded.endOfFileRecord && !allowNoEof) {
            err << "tessaline-cli: " << input
                << " has no end-of-file record and may be cut short; nothing was written "
                   "(--allow-no-eof writes it anyway)\n";
            return kExitFault;
        }
        for (const Change& change : changes)
            applyOption(state.buffer.Config, *change.setting, *change.option);
        const std::string& output = operands[1];
        const HexSaveOutcome saved = saveHexFile(output, state.buffer);
        if (!saved.saved) {
            err << "tessaline-cli: cannot write " << output << ": " << saved.error << '\n';
            return kExitUsage;
        }
    }
    out << configurationText(model, state.buffer.Config);
    return kExitOk;
}

} // namespace tessaline
