// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-cli config: the configuration of a HEX file by name, and changed settings,
// against what gputils writes for the same CONFIG directives.
#include "cli/cli_app.hpp"

#include "app/settings_store.hpp"
#include "tests/support/temp_folder.hpp"

#include <QProcess>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace tessaline;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class ConfigCommand : public ::testing::Test {
protected:
    ConfigCommand() : settings(QString::fromStdString(folder.file("settings.ini"))) {}

    CliRun run(const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        CliRun result;
        result.status = runCli(args, CliEnvironment{folder.path(), &settings}, out, err);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    CliRun runShipped(const std::string& model, std::vector<std::string> args) {
        const std::string devices = std::string(TESSALINE_SOURCE_DIR) + "/devices.cfg";
        args.insert(args.begin(), {"--devices", devices, "--model", model, "config"});
        return run(args);
    }

    // Assembles a program with this CONFIG directive with gpasm; the HEX file's path.
    std::string assemble(const std::string& name, const std::string& part,
                         const std::string& config) {
        folder.write(name + ".asm", "        list p=" + part + "\n        include <p" + part +
                                        ".inc>\n        CONFIG " + config +
                                        "\n        org 0\n        goto 0\n        end\n");
        QProcess gpasm;
        gpasm.start(QStringLiteral(TESSALINE_GPASM),
                    {QStringLiteral("-q"), QStringLiteral("-o"),
                     QString::fromStdString(folder.file(name + ".hex")),
                     QString::fromStdString(folder.file(name + ".asm"))});
        EXPECT_TRUE(gpasm.waitForFinished(30000));
        EXPECT_EQ(gpasm.exitCode(), 0) << gpasm.readAllStandardOutput().toStdString();
        return folder.file(name + ".hex");
    }

    test::TempFolder folder;
    SettingsStore settings;
};

// "OSC = HS, WDT = OFF" as the lines the command prints for them.
std::vector<std::string> settingLines(const std::string& config) {
    std::vector<std::string> lines;
    std::istringstream in(config);
    for (std::string item; std::getline(in, item, ',');) {
        item.erase(0, item.find_first_not_of(' '));
        lines.push_back("  " + item);
    }
    return lines;
}

bool hasLine(const std::string& text, const std::string& start) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line == start || line.rfind(start + " ", 0) == 0)
            return true;
    return false;
}

} // namespace

// One model of each family: the settings written in the source come out by name, every
// other setting shows the option gputils put there; changed settings give the bytes that
// gputils makes of the changed source.
TEST_F(ConfigCommand, PrintsAndChangesSettingsAsTheToolchainWritesThem) {
    const struct {
        const char* model;
        const char* part;
        const char* config;
        std::vector<std::string> changes;
        const char* changed;
    } rows[] = {
        {"18F452",
         "18f452",
         "OSC = HSPLL, OSCS = ON, PWRT = ON, BOR = OFF, BORV = 27, WDT = OFF, WDTPS = 32, "
         "LVP = OFF, CP0 = ON, CPB = ON, WRTD = ON",
         {"osc=xt", "WDT=on", "cp0=OFF", "BORV=45", "OSC=XT"},
         "OSC = XT, OSCS = ON, PWRT = ON, BOR = OFF, BORV = 45, WDT = ON, WDTPS = 32, "
         "LVP = OFF, CP0 = OFF, CPB = ON, WRTD = ON"},
        {"18F1320",
         "18f1320",
         "OSC = INTIO2, FSCM = OFF, IESO = OFF, BORV = 42, WDTPS = 64, MCLRE = OFF, LVP = OFF, "
         "EBTR1 = ON",
         {"OSC=HS", "mclre=ON", "WDTPS=1024"},
         "OSC = HS, FSCM = OFF, IESO = OFF, BORV = 42, WDTPS = 1024, MCLRE = ON, LVP = OFF, "
         "EBTR1 = ON"},
        {"18F4550",
         "18f4550",
         "PLLDIV = 5, CPUDIV = OSC1_PLL2, USBDIV = 2, FOSC = HSPLL_HS, VREGEN = ON, WDT = OFF, "
         "PBADEN = OFF, LVP = OFF, ICPRT = ON, XINST = OFF, WRTC = ON",
         {"fosc=intosc_hs", "PLLDIV=12", "icprt=off"},
         "PLLDIV = 12, CPUDIV = OSC1_PLL2, USBDIV = 2, FOSC = INTOSC_HS, VREGEN = ON, WDT = OFF, "
         "PBADEN = OFF, LVP = OFF, ICPRT = OFF, XINST = OFF, WRTC = ON"},
    };
    for (const auto& row : rows) {
        const std::string source = assemble("source", row.part, row.config);
        const CliRun printed = runShipped(row.model, {source});
        ASSERT_EQ(printed.status, 0) << row.model << printed.err;
        for (const std::string& line : settingLines(row.config))
            EXPECT_TRUE(hasLine(printed.out, line)) << row.model << ": " << line << "\n"
                                                    << printed.out;
        EXPECT_EQ(printed.out.find("= ?"), std::string::npos) << printed.out;
        EXPECT_EQ(printed.out.find("  bits "), std::string::npos) << printed.out;

        std::vector<std::string> args{source, folder.file("out.hex")};
        args.insert(args.end(), row.changes.begin(), row.changes.end());
        const CliRun changed = runShipped(row.model, args);
        ASSERT_EQ(changed.status, 0) << row.model << changed.err;
        const CliRun expected =
            runShipped(row.model, {assemble("expected", row.part, row.changed)});
        EXPECT_EQ(changed.out, expected.out) << row.model;
        EXPECT_EQ(runShipped(row.model, {folder.file("out.hex")}).out, expected.out);
    }
}

TEST_F(ConfigCommand, NotesBitsOutsideTheSettingsAndValuesNoOptionNames) {
    folder.write("devices.cfg", "model:tiny\r\nflash:64\r\n"
                                "configerased:00 27 00 00 00 00 85 00 00 00 00 00 00 00\r\n"
                                "configmask:00 27 00 00 00 00 85 00 00 00 00 00 00 00\r\n"
                                "setting:1H OSC 07 RCIO Oscillator Selection bits\r\n"
                                "option:HS 02 HS oscillator\r\n"
                                "option:RCIO 07\r\n"
                                "setting:1H OSCS 20 OFF\r\n"
                                "option:ON 00\r\n"
                                "option:OFF 20\r\n"
                                "setting:4L STVR 01 ON\r\n"
                                "option:OFF 00\r\n"
                                "option:ON 01 Stack Full/Underflow will cause RESET\r\n"
                                "model:plain\r\nflash:64\r\n"
                                "model:broken\r\nflash:64\r\nsetting:1H OSC\r\n");
    folder.write("in.hex", ":020000040030CA\r\n:01000100E11D\r\n:0100060001F8\r\n:00000001FF\r\n");
    const CliRun printed = run({"config", folder.file("in.hex")});
    EXPECT_EQ(printed.status, 0) << printed.err;
    EXPECT_EQ(printed.out, "CONFIG1L 300000h = 00h\n"
                           "CONFIG1H 300001h = E1h\n"
                           "  OSC = ? (bits 01h)\n"
                           "  OSCS = OFF\n"
                           "  bits outside configmask: C0h, blank 00h\n"
                           "CONFIG2L 300002h = 00h\n"
                           "CONFIG2H 300003h = 00h\n"
                           "CONFIG3L 300004h = 00h\n"
                           "CONFIG3H 300005h = 00h\n"
                           "CONFIG4L 300006h = 01h\n"
                           "  STVR = ON           Stack Full/Underflow will cause RESET\n"
                           "  bits that no setting names: 00h, blank 84h\n"
                           "CONFIG4H 300007h = 00h\n"
                           "CONFIG5L 300008h = 00h\n"
                           "CONFIG5H 300009h = 00h\n"
                           "CONFIG6L 30000Ah = 00h\n"
                           "CONFIG6H 30000Bh = 00h\n"
                           "CONFIG7L 30000Ch = 00h\n"
                           "CONFIG7H 30000Dh = 00h\n");

    // Wrong names and options exit 2 with the valid ones, a forgotten OUT or a setting
    // given two options exit 2 by name; nothing is written. The first line of the error.
    const std::string out = folder.file("out.hex");
    const struct {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{out, "OSC=HS", "osc"}, "tessaline-cli: 'osc' is not of the form NAME=OPTION\n"},
        {{out, "FOSC=HS"},
         "tessaline-cli: TINY has no setting 'FOSC'; its settings are OSC, OSCS, "
         "STVR\n"},
        {{out, "oscs=off", "osc=xt"},
         "tessaline-cli: OSC has no option 'xt'; its options are HS, "
         "RCIO\n"},
        {{"OSC=HS", "oscs=off"},
         "tessaline-cli: 'OSC=HS' stands where the output file goes: config IN OUT "
         "NAME=OPTION... (a file of that name: ./OSC=HS); nothing was written\n"},
        {{"OSC=HS"},
         "tessaline-cli: 'OSC=HS' stands where the output file goes: config IN OUT "
         "NAME=OPTION... (a file of that name: ./OSC=HS); nothing was written\n"},
        {{out, "OSC=HS", "oscs=off", "osc=rcio"},
         "tessaline-cli: OSC is given twice, as HS and as RCIO; nothing was written\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"config", folder.file("in.hex")};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const CliRun refused = run(args);
        EXPECT_EQ(refused.status, 2) << row.error;
        EXPECT_EQ(refused.err.substr(0, refused.err.find('\n') + 1), row.error);
        EXPECT_EQ(refused.out, "");
        EXPECT_FALSE(std::ifstream(out).good()) << row.error;
        EXPECT_FALSE(std::ifstream(folder.file("OSC=HS")).good()) << row.error;
    }
    // A malformed settings line is a fault of the model's record, as for the operations.
    const CliRun broken = run({"--model", "broken", "config", folder.file("in.hex")});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err, "tessaline-cli: " + folder.file("devices.cfg") +
                              ":18: The setting value '1H OSC' is not of the form 'BYTE NAME MASK "
                              "BLANK [TITLE]' (1H OSC 0F RCIO Oscillator Selection bits).\n");
    const CliRun plain = run({"--model", "plain", "config", folder.file("in.hex")});
    EXPECT_EQ(plain.status, 2);
    EXPECT_EQ(plain.err,
              "tessaline-cli: the device file names no configuration settings for PLAIN\n");
    EXPECT_EQ(run({"config", folder.file("in.hex"), folder.file("out.hex")}).status, 2);

    // A file without its end-of-file record may be cut short: no OUT that passes for whole.
    folder.write("cut.hex", ":020000040030CA\r\n:01000100E11D\r\n");
    const CliRun cut = run({"config", folder.file("cut.hex"), folder.file("out.hex"), "OSC=HS"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "tessaline-cli: " + folder.file("cut.hex") +
                           " has no end-of-file record and may be cut short; nothing was written "
                           "(--allow-no-eof writes it anyway)\n");
    EXPECT_FALSE(std::ifstream(folder.file("out.hex")).good());
    EXPECT_EQ(
        run({"--allow-no-eof", "config", folder.file("cut.hex"), folder.file("out.hex"), "OSC=HS"})
            .status,
        0);
    EXPECT_TRUE(std::ifstream(folder.file("out.hex")).good());
}
