// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/config_settings.hpp"
#include "devices/selected_model.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

namespace {

const std::string kRecord = "model:x\r\nflash:64\r\n"
                            "configerased:00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40\r\n"
                            "configmask:00 27 0F 0F 00 01 85 00 0F C0 0F E0 0F 40\r\n";

SelectedModelValues applied(const std::string& lines) {
    const DeviceTable table = parseDeviceTable(kRecord + lines, "devices.cfg");
    SelectedModelValues values;
    ApplySelectedModel(table.at(0), values);
    return values;
}

const std::string kOsc = "setting:1H OSC 07 RCIO  Oscillator Selection bits \r\n"
                         "option:HS 02 HS oscillator\r\n"
                         "option:HSPLL 06  HS oscillator, PLL enabled\r\n"
                         "option:RCIO 07\r\n"
                         "; a comment between the lines\r\n"
                         "setting:1h OSCS 20 off\r\n"
                         "option:ON 00\r\n"
                         "option:OFF 20\r\n";

} // namespace

TEST(ConfigSettings, ReadsSettingsWithTheirOptionsAndBlankChoice) {
    const SelectedModelValues values = applied(kOsc);
    ASSERT_FALSE(values.Safety.error) << *values.Safety.error;
    const ConfigSettings& settings = values.Settings;
    ASSERT_EQ(settings.settings.size(), 2u);
    const ConfigSetting& osc = settings.settings[0];
    EXPECT_EQ(osc.configIndex, 1u);
    EXPECT_EQ(osc.mask, 0x07);
    EXPECT_EQ(osc.title, "Oscillator Selection bits");
    EXPECT_EQ(osc.source.prefix(), "devices.cfg:5: ");
    ASSERT_EQ(osc.options.size(), 3u);
    EXPECT_EQ(osc.options[1].explanation, "HS oscillator, PLL enabled");
    EXPECT_EQ(osc.options[osc.blankOption.value()].name, "RCIO");
    EXPECT_EQ(settings.settings[1].options[settings.settings[1].blankOption.value()].name, "OFF");
    EXPECT_EQ(settings.find("oscs"), &settings.settings[1]);
    EXPECT_EQ(osc.findOption("hspll"), &osc.options[1]);
    EXPECT_EQ(settings.find("OSC2"), nullptr);
    EXPECT_EQ(settings.names(), "OSC, OSCS");
    EXPECT_EQ(osc.optionNames(), "HS, HSPLL, RCIO");
    EXPECT_EQ(settings.namedBits(1), 0x27);
    EXPECT_EQ(settings.ofByte(1).size(), 2u);
    EXPECT_TRUE(settings.ofByte(0).empty());

    EXPECT_EQ(osc.text(0x26), "OSC = HSPLL");
    EXPECT_EQ(osc.text(0xF1), "OSC = ? (bits 01h)");
    EXPECT_EQ(osc.text(-1), "OSC = ? (byte not known)");

    ConfigValues config = values.ConfigErased;
    applyOption(config, osc, osc.options[1]);
    applyOption(config, settings.settings[1], settings.settings[1].options[0]);
    EXPECT_EQ(config[1], 0x06);
    config[1] = 0xF9;
    applyOption(config, osc, osc.options[0]);
    EXPECT_EQ(config[1], 0xFA);

    // "-": no option has the bits of a blank chip (07h here).
    const SelectedModelValues unnamed = applied("setting:1H OSC 07 -\r\noption:HS 02\r\n");
    ASSERT_FALSE(unnamed.Settings.error) << *unnamed.Settings.error;
    EXPECT_FALSE(unnamed.Settings.settings[0].blankOption);

    const SelectedModelValues none = applied("");
    EXPECT_TRUE(none.Settings.empty());
    EXPECT_FALSE(none.Safety.error);
}

// A malformed line names its place and refuses the model's operations, as the other
// optional keys do; nothing of the settings is kept.
TEST(ConfigSettings, MalformedLinesNameTheirLine) {
    const struct {
        std::string lines;
        const char* error;
    } rows[] = {
        {"setting:1H OSC 07\r\n",
         "devices.cfg:5: The setting value '1H OSC 07' is not of the form 'BYTE NAME MASK BLANK "
         "[TITLE]' (1H OSC 0F RCIO Oscillator Selection bits)."},
        {"setting:8H OSC 07 RCIO\r\n", "devices.cfg:5: The setting value '8H OSC 07 RCIO' is not"},
        {"setting:1H OSC 00 RCIO\r\n", "devices.cfg:5: The setting value '1H OSC 00 RCIO' is not"},
        {"setting:1H O-SC 07 RCIO\r\n", "devices.cfg:5: The setting value '1H O-SC 07 RCIO' is"},
        {"option:HS 02\r\n", "devices.cfg:5: The option HS follows no setting line of its record."},
        {"setting:1H OSC 07 RCIO\r\noption:HS 2\r\n",
         "devices.cfg:6: The option value 'HS 2' is not of the form 'NAME VALUE [EXPLANATION]' "
         "(HSPLL 06 HS oscillator, PLL enabled)."},
        {"setting:1H OSC 07 RCIO\r\noption:HS 12\r\n",
         "devices.cfg:6: The option HS = 12h of OSC has bits outside its mask 07h."},
        {"setting:1H OSC 07 RCIO\r\noption:HS 02\r\noption:hs 03\r\n",
         "devices.cfg:7: The option hs of OSC is named twice."},
        {kOsc + "setting:2L osc 01 ON\r\n", "devices.cfg:13: The setting osc is named twice."},
        {"setting:1H OSC 07 RCIO\r\n", "devices.cfg:5: The setting OSC has no option lines."},
        {"setting:1H OSC 07 RCIO\r\noption:HS 02\r\n",
         "devices.cfg:5: The setting OSC gives RCIO as its blank option, which is none of its "
         "options."},
        {"setting:1H OSC 07 RCIO\r\noption:RCIO 07\r\nsetting:1H OSCS 24 OFF\r\noption:OFF 20\r\n",
         "devices.cfg:7: The setting OSCS shares bits 04h with another setting of CONFIG1H."},
        {"setting:1H OSC 0F RCIO\r\noption:RCIO 07\r\n",
         "devices.cfg:5: The setting OSC (bits 0Fh) reaches outside the configmask of CONFIG1H, "
         "27h."},
        {"setting:1H OSC 07 -\r\noption:RCIO 07\r\n",
         "devices.cfg:5: The setting OSC gives no blank option, but the configerased value of "
         "CONFIG1H has RCIO there."},
        {"setting:1H OSC 07 HS\r\noption:HS 02\r\noption:RCIO 07\r\n",
         "devices.cfg:5: The setting OSC gives HS (02h) as its blank option, but the configerased "
         "value of CONFIG1H has 07h there."},
    };
    for (const auto& row : rows) {
        const SelectedModelValues values = applied(row.lines);
        ASSERT_TRUE(values.Settings.error) << row.lines;
        EXPECT_EQ(values.Settings.error->rfind(row.error, 0), 0u) << *values.Settings.error;
        EXPECT_EQ(values.Safety.error, values.Settings.error);
        EXPECT_TRUE(values.Settings.empty());
    }
}
