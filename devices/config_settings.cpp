// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/config_settings.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "buffer/text_rules.hpp"

#include <algorithm>

namespace tessaline {

namespace {

// A blank option of "-": no option has the bits of a bulk-erased chip.
constexpr std::string_view kNoOption = "-";

constexpr const char* kSettingForm =
    "'BYTE NAME MASK BLANK [TITLE]' (1H OSC 0F RCIO Oscillator Selection bits)";
constexpr const char* kOptionForm = "'NAME VALUE [EXPLANATION]' (HSPLL 06 HS oscillator, PLL "
                                    "enabled)";

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The next blank-separated word of text, which then continues after it.
std::string_view nextWord(std::string_view& text) {
    text = trimmed(text);
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t')
        ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// The toolchains' names are letters, digits and underscores: "OSC", "HSPLL", "32768".
bool isName(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

// "1H" .. as CONFIG1H's index, in any letter case; -1 for anything else.
int configIndexOf(std::string_view word) {
    for (std::size_t k = 0; k < kConfigBytes.size(); ++k)
        if (toUpperAscii(word) == kConfigBytes[k].gridCaption)
            return static_cast<int>(k);
    return -1;
}

std::int32_t byteOf(std::string_view word) {
    return ParseHex2(toUpperAscii(word));
}

bool sameName(std::string_view a, std::string_view b) {
    return toUpperAscii(a) == toUpperAscii(b);
}

std::string byteName(std::size_t configIndex) {
    return "CONFIG" + std::string(kConfigBytes[configIndex].gridCaption);
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

class SettingsReader {
public:
    SettingsReader(const DeviceModel& record, ConfigSettings& result)
        : m_record(record), m_result(result) {}

    void read(const DeviceModel::ListedLine& line) {
        const SourceLine where{m_record.file, line.line};
        if (line.key == DeviceKey::Setting)
            readSetting(line.value, where);
        else
            readOption(line.value, where);
    }

    // What can be told only once every line is read: each setting has options and its
    // blank option among them, lies apart from the byte's other settings and within its
    // configmask, and its blank option is what configerased gives.
    void checkSettings(const std::optional<std::array<std::uint8_t, 14>>& configMask,
                       const ConfigValues& configErased) {
        std::array<std::uint8_t, 14> covered{};
        for (std::size_t i = 0; i < m_result.settings.size() && !m_result.error; ++i) {
            ConfigSetting& setting = m_result.settings[i];
            const std::size_t k = setting.configIndex;
            const std::string where = " of " + byteName(k);
            const bool noBlank = m_blankNames[i] == kNoOption;
            const auto blank = std::find_if(
                setting.options.begin(), setting.options.end(),
                [&](const ConfigOption& option) { return sameName(option.name, m_blankNames[i]); });
            const ConfigOption* erased = setting.optionOf(configErased[k]);
            if (setting.options.empty()) {
                fail(setting.source, "The setting " + setting.name + " has no option lines.");
            } else if ((covered[k] & setting.mask) != 0) {
                fail(setting.source, "The setting " + setting.name + " shares bits " +
                                         Hex2(covered[k] & setting.mask) +
                                         "h with another setting" + where + ".");
            } else if (configMask && (setting.mask & ~(*configMask)[k]) != 0) {
                fail(setting.source, "The setting " + setting.name + " (bits " +
                                         Hex2(setting.mask) + "h) reaches outside the configmask" +
                                         where + ", " + Hex2((*configMask)[k]) + "h.");
            } else if (noBlank) {
                if (erased)
                    fail(setting.source, "The setting " + setting.name +
                                             " gives no blank option, but the configerased value" +
                                             where + " has " + erased->name + " there.");
            } else if (blank == setting.options.end()) {
                fail(setting.source, "The setting " + setting.name + " gives " + m_blankNames[i] +
                                         " as its blank option, which is none of its options.");
            } else if (configErased[k] >= 0 && erased != &*blank) {
                fail(setting.source,
                     "The setting " + setting.name + " gives " + blank->name + " (" +
                         Hex2(blank->value) + "h) as its blank option, but the configerased value" +
                         where + " has " + Hex2(configErased[k] & setting.mask) + "h there.");
            } else {
                setting.blankOption = static_cast<std::size_t>(blank - setting.options.begin());
            }
            covered[k] = static_cast<std::uint8_t>(covered[k] | setting.mask);
        }
    }

private:
    void fail(const SourceLine& where, const std::string& text) {
        if (!m_result.error)
            m_result.error = where.prefix() + text;
    }

    void readSetting(std::string_view value, const SourceLine& where) {
        std::string_view rest = value;
        const int index = configIndexOf(nextWord(rest));
        const std::string_view name = nextWord(rest);
        const std::int32_t mask = byteOf(nextWord(rest));
        const std::string_view blank = nextWord(rest);
        if (index < 0 || !isName(name) || mask <= 0 || (!isName(blank) && blank != kNoOption)) {
            fail(where, "The setting value '" + std::string(trimmed(value)) +
                            "' is not of the form " + kSettingForm + ".");
            return;
        }
        if (m_result.find(name)) {
            fail(where, "The setting " + std::string(name) + " is named twice.");
            return;
        }
        ConfigSetting setting;
        setting.configIndex = static_cast<std::size_t>(index);
        setting.name = std::string(name);
        setting.mask = static_cast<std::uint8_t>(mask);
        setting.title = std::string(trimmed(rest));
        setting.source = where;
        m_blankNames.emplace_back(blank);
        m_result.settings.push_back(std::move(setting));
    }

    void readOption(std::string_view value, const SourceLine& where) {
        std::string_view rest = value;
        const std::string_view name = nextWord(rest);
        const std::int32_t bits = byteOf(nextWord(rest));
        if (!isName(name) || bits < 0) {
            fail(where, "The option value '" + std::string(trimmed(value)) +
                            "' is not of the form " + kOptionForm + ".");
            return;
        }
        if (m_result.settings.empty()) {
            fail(where,
                 "The option " + std::string(name) + " follows no setting line of its record.");
            return;
        }
        ConfigSetting& setting = m_result.settings.back();
        if ((bits & ~setting.mask) != 0) {
            fail(where, "The option " + std::string(name) + " = " + Hex2(bits) + "h of " +
                            setting.name + " has bits outside its mask " + Hex2(setting.mask) +
                            "h.");
            return;
        }
        if (setting.findOption(name)) {
            fail(where,
                 "The option " + std::string(name) + " of " + setting.name + " is named twice.");
            return;
        }
        setting.options.push_back(
            {std::string(name), static_cast<std::uint8_t>(bits), std::string(trimmed(rest))});
    }

    const DeviceModel& m_record;
    ConfigSettings& m_result;
    std::vector<std::string> m_blankNames;
};

} // namespace

const ConfigOption* ConfigSetting::optionOf(std::int32_t byte) const {
    if (byte < 0)
        return nullptr;
    const auto found = std::find_if(options.begin(), options.end(), [&](const ConfigOption& o) {
        return o.value == (byte & mask);
    });
    return found == options.end() ? nullptr : &*found;
}

const ConfigOption* ConfigSetting::findOption(std::string_view wanted) const {
    const auto found = std::find_if(options.begin(), options.end(), [&](const ConfigOption& o) {
        return sameName(o.name, wanted);
    });
    return found == options.end() ? nullptr : &*found;
}

std::string ConfigSetting::choiceText(std::int32_t byte) const {
    if (const ConfigOption* option = optionOf(byte))
        return option->name;
    return byte < 0 ? "? (byte not known)" : "? (bits " + Hex2(byte & mask) + "h)";
}

std::string ConfigSetting::text(std::int32_t byte) const {
    return name + " = " + choiceText(byte);
}

std::string ConfigSetting::optionNames() const {
    std::vector<std::string> names;
    for (const ConfigOption& option : options)
        names.push_back(option.name);
    return joined(names);
}

const ConfigSetting* ConfigSettings::find(std::string_view wanted) const {
    const auto found = std::find_if(settings.begin(), settings.end(), [&](const ConfigSetting& s) {
        return sameName(s.name, wanted);
    });
    return found == settings.end() ? nullptr : &*found;
}

std::vector<const ConfigSetting*> ConfigSettings::ofByte(std::size_t configIndex) const {
    std::vector<const ConfigSetting*> found;
    for (const ConfigSetting& setting : settings)
        if (setting.configIndex == configIndex)
            found.push_back(&setting);
    return found;
}

std::uint8_t ConfigSettings::namedBits(std::size_t configIndex) const {
    std::uint8_t bits = 0;
    for (const ConfigSetting* setting : ofByte(configIndex))
        bits = static_cast<std::uint8_t>(bits | setting->mask);
    return bits;
}

std::string ConfigSettings::names() const {
    std::vector<std::string> list;
    for (const ConfigSetting& setting : settings)
        list.push_back(setting.name);
    return joined(list);
}

ConfigSettings parseConfigSettings(const DeviceModel& record,
                                   const std::optional<std::array<std::uint8_t, 14>>& configMask,
                                   const ConfigValues& configErased) {
    ConfigSettings result;
    SettingsReader reader(record, result);
    for (const DeviceModel::ListedLine& line : record.settingLines) {
        reader.read(line);
        if (result.error)
            break;
    }
    if (!result.error)
        reader.checkSettings(configMask, configErased);
    if (result.error)
        result.settings.clear();
    return result;
}

void applyOption(ConfigValues& config, const ConfigSetting& setting, const ConfigOption& option) {
    std::int32_t& byte = config[setting.configIndex];
    byte = ((byte < 0 ? 0 : byte) & ~std::int32_t{setting.mask} & 0xFF) | option.value;
}

} // namespace tessaline
