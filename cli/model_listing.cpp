// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/model_listing.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "devices/script_check.hpp"
#include "devices/selected_model.hpp"

#include <algorithm>
#include <ostream>

namespace tessaline {

namespace {

// "line 12 " or "-       " for a key the record does not have, then the key.
void keyLine(std::ostream& out, const DeviceModel& record, DeviceKey key) {
    const std::int32_t line = record.lines[static_cast<std::size_t>(key)];
    std::string place = line > 0 ? "line " + std::to_string(line) : "-";
    place.resize(10, ' ');
    std::string name(deviceKeyText(key));
    name.resize(14, ' ');
    out << "  " << place << name;
}

std::string configText(const ConfigValues& values) {
    std::string text;
    for (std::int32_t value : values)
        text += (text.empty() ? "" : " ") + (value < 0 ? std::string("--") : Hex2(value));
    return text;
}

std::string sequenceText(std::int32_t sequence) {
    switch (sequence) {
    case 1:
        return "VDD before VPP";
    case 2:
        return "VPP before VDD";
    default:
        return "not known";
    }
}

void listScript(std::ostream& out, const DeviceModel& record, DeviceKey key,
                const DeviceScript& script) {
    keyLine(out, record, key);
    out << script.size() << (script.size() == 1 ? " word\n" : " words\n");
    std::int32_t index = 0;
    for (const ScriptStep& step : script.steps) {
        std::string number = std::to_string(++index);
        number.insert(0, number.size() < 4 ? 4 - number.size() : 0, ' ');
        std::string word = "'" + step.word + "'";
        word.resize(std::max<std::size_t>(word.size() + 1, 20), ' ');
        out << "          " << number << "  " << word << describeInstruction(step.instruction)
            << '\n';
    }
}

// The named settings, when the record has them: each with its byte, bits, blank option and
// options.
void listSettings(std::ostream& out, const DeviceModel& record, const ConfigSettings& settings) {
    if (record.settingLines.empty())
        return;
    keyLine(out, record, DeviceKey::Setting);
    if (settings.error) {
        out << "not read: " << *settings.error << '\n';
        return;
    }
    out << settings.settings.size()
        << (settings.settings.size() == 1 ? " setting\n" : " settings\n");
    for (const ConfigSetting& setting : settings.settings) {
        out << "          CONFIG" << kConfigBytes[setting.configIndex].gridCaption << " "
            << setting.name << ", bits " << Hex2(setting.mask) << "h, blank "
            << (setting.blankOption ? setting.options[*setting.blankOption].name : "-") << ":";
        for (std::size_t i = 0; i < setting.options.size(); ++i)
            out << (i == 0 ? " " : ", ") << setting.options[i].name << " "
                << Hex2(setting.options[i].value) << "h";
        out << '\n';
    }
}

// The device ID, the configuration masks, the protected ranges and the named settings, as
// understood; a malformed value shows as the refusal it causes.
void listSafety(std::ostream& out, const DeviceModel& record, const ChipSafety& safety,
                const ConfigSettings& settings) {
    keyLine(out, record, DeviceKey::DeviceId);
    if (safety.deviceId)
        out << Hex4(safety.deviceId->id) << "h under mask " << Hex4(safety.deviceId->mask) << "h\n";
    else
        out << "none (no device ID check)\n";
    keyLine(out, record, DeviceKey::ConfigMask);
    if (safety.configMask) {
        std::string text;
        for (const std::uint8_t mask : *safety.configMask)
            text += (text.empty() ? "" : " ") + Hex2(mask);
        out << text << '\n';
    } else {
        out << "none (every bit compared)\n";
    }
    keyLine(out, record, DeviceKey::Protect);
    out << safety.protection.size() << (safety.protection.size() == 1 ? " range\n" : " ranges\n");
    for (const ProtectedRange& range : safety.protection) {
        out << "          CONFIG" << kConfigBytes[range.configIndex].gridCaption << " bit "
            << int{range.bit} << ": " << Hex6(range.first) << "h-" << Hex6(range.last) << "h";
        if (range.when)
            out << " while CONFIG" << kConfigBytes[range.when->configIndex].gridCaption << " & "
                << Hex2(range.when->mask) << "h = " << Hex2(range.when->value) << "h";
        out << '\n';
    }
    listSettings(out, record, settings);
    if (safety.error)
        out << "          refused: " << *safety.error << '\n';
}

} // namespace

std::vector<std::string> listModel(std::ostream& out, std::int32_t number,
                                   const DeviceModel& record) {
    SelectedModelValues values;
    ApplySelectedModel(record, values);
    const SourceLine place = record.sourceOf(DeviceKey::Model);
    out << "model " << number << ": " << values.SelectedModelName << " ("
        << (place.file.empty() ? "line " : place.file + ":") << place.line << ")\n";
    keyLine(out, record, DeviceKey::Flash);
    out << values.FlashSize << " bytes\n";
    keyLine(out, record, DeviceKey::Eeprom);
    out << values.EepromSize << " bytes\n";
    keyLine(out, record, DeviceKey::ConfigErased);
    out << configText(values.ConfigErased) << '\n';
    keyLine(out, record, DeviceKey::VoltageSeq);
    out << sequenceText(values.VoltageSequence) << '\n';
    keyLine(out, record, DeviceKey::ProgTime);
    out << values.ProgTime << " ms\n";
    listSafety(out, record, values.Safety, values.Settings);
    struct Listed {
        DeviceKey key;
        const DeviceScript* script;
    };
    const Listed scripts[] = {
        {DeviceKey::Erase, &values.EraseScript},
        {DeviceKey::Program, &values.ProgramScript},
        {DeviceKey::Read, &values.ReadScript},
        {DeviceKey::BlankCheck, &values.BlankCheckScript},
        {DeviceKey::Verify, &values.VerifyScript},
    };
    std::vector<std::string> problems;
    if (values.Safety.error)
        problems.push_back(*values.Safety.error);
    if (values.Settings.error && values.Settings.error != values.Safety.error)
        problems.push_back(*values.Settings.error);
    for (const Listed& listed : scripts) {
        listScript(out, record, listed.key, *listed.script);
        if (auto problem =
                checkScript(*listed.script, values.VoltageSequence, values.VoltageSequenceSource);
            problem && std::find(problems.begin(), problems.end(), *problem) == problems.end())
            problems.push_back(std::move(*problem));
    }
    return problems;
}

} // namespace tessaline
