// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitsim/options.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tessaline::unitsim {

const char* const kUsage =
    "Usage: tessaline-unitsim [OPTIONS]\n"
    "Serves a simulated programmer unit with one PIC18 on a pseudo-terminal and prints the\n"
    "terminal's device path on the first line.\n"
    "\n"
    "  --chip MODEL       the chip in the socket (default 18F452)\n"
    "  --load FILE.hex    start with the chip programmed from this file\n"
    "  --save FILE.hex    write the chip's memories to this file on exit\n"
    "  --link PATH        make a symbolic link to the terminal at PATH\n"
    "  --baud B           pace every byte as a wire at B baud would (a reference unit\n"
    "                     in fast mode: at the rate it negotiated)\n"
    "  --adapter A        the USB serial adapter between program and unit, as it hands\n"
    "                     bytes on: none (default), uno, ch340, cp2102, ftdi1 or ftdi16\n"
    "                     (an FTDI cable with its latency timer at 1 or 16 ms)\n"
    "  --reply-delay MS   wait this long before every reply\n"
    "  --mute-after N     take nothing more after N commands (a hung unit)\n"
    "  --noise            send a stray byte now and then\n"
    "  --seed N           seed of the noise and of the chip's undefined power-up state\n"
    "  --empty            no chip in the socket: every read gives 00h\n"
    "  --allow-powered    a chip still powered at the end is no violation\n"
    "  --reference        a reference unit: status bits, silence after a refusal, the\n"
    "                     probe's signature, the unit report; then also:\n"
    "  --vpp-volts V      what the boost module delivers (default 11.0)\n"
    "  --vdd-volts V      the +5 V rail that feeds the target, or with --target-powered\n"
    "                     the target's own supply (default 5.0)\n"
    "  --target-powered   the target has a supply of its own\n"
    "  --mclr-jumper J    J1 on the boost module (boost) or on +5 V (5v); by default as\n"
    "                     --lvp asks\n"
    "  --lvp              J3 set for low-voltage entry\n"
    "  --drop-byte N      the Nth byte from the programmer is lost on the line\n"
    "  --garble-byte N    the Nth byte from the programmer comes with a framing error\n"
    "  --firmware FILE.elf  run the unit's firmware (tessaline-unit.elf) in a simulated\n"
    "                     ATmega328P whose pins drive the chip: a reference unit, with\n"
    "                     the options above; then also:\n"
    "  --vcd FILE         write the ICSP lines for a waveform viewer\n"
    "\n"
    "Ends on SIGTERM or SIGINT; reports the violations it saw on standard error (a chip\n"
    "left powered among them) and exits with status 1 when there were any.\n";

namespace {

// Each option once: where its value goes, and which back end it makes no sense for.
struct OptionSpec {
    const char* name;
    std::string Options::*text = nullptr;
    long Options::*number = nullptr;
    bool Options::*flag = nullptr;
    double Options::*volts = nullptr;
    // The firmware decides these for itself.
    const char* whyNotWithFirmware = nullptr;
    // Only the firmware's circuit has these: to the transfer-level unit they are unknown.
    bool firmwareOnly = false;
    // Only a reference unit has these: an original unit's are unknown.
    const char* whyOnlyReference = nullptr;
};

constexpr const char* kSupplyUnknown = "an original unit's supplies and jumpers are unknown";
constexpr const char* kLineUnknown = "what an original unit does with a lost byte is unknown";
// The boost module's most.
constexpr double kMostVolts = 30.0;

constexpr OptionSpec kOptions[] = {
    {.name = "--firmware", .text = &Options::firmware},
    {.name = "--chip", .text = &Options::chip},
    {.name = "--load", .text = &Options::load},
    {.name = "--save", .text = &Options::save},
    {.name = "--link", .text = &Options::link},
    {.name = "--vcd", .text = &Options::vcd, .firmwareOnly = true},
    {.name = "--baud",
     .number = &Options::baud,
     .whyNotWithFirmware = "the firmware's UART sets the pace"},
    {.name = "--reply-delay",
     .number = &Options::replyDelayMs,
     .whyNotWithFirmware = "the firmware answers when its pin work is done"},
    {.name = "--mute-after",
     .number = &Options::muteAfter,
     .whyNotWithFirmware = "faults are the firmware's own"},
    {.name = "--adapter", .text = &Options::adapterName},
    {.name = "--seed", .number = &Options::seed},
    {.name = "--noise",
     .flag = &Options::noise,
     .whyNotWithFirmware = "faults are the firmware's own"},
    {.name = "--empty", .flag = &Options::empty},
    {.name = "--allow-powered", .flag = &Options::allowPowered},
    {.name = "--reference",
     .flag = &Options::reference,
     .whyNotWithFirmware = "the firmware is always a reference unit"},
    {.name = "--vpp-volts", .volts = &Options::vppVolts, .whyOnlyReference = kSupplyUnknown},
    {.name = "--vdd-volts", .volts = &Options::vddVolts, .whyOnlyReference = kSupplyUnknown},
    {.name = "--target-powered",
     .flag = &Options::targetPowered,
     .whyOnlyReference = kSupplyUnknown},
    {.name = "--mclr-jumper", .text = &Options::mclrJumper, .whyOnlyReference = kSupplyUnknown},
    {.name = "--lvp", .flag = &Options::lowVoltage, .whyOnlyReference = kSupplyUnknown},
    {.name = "--drop-byte", .number = &Options::dropByte, .whyOnlyReference = kLineUnknown},
    {.name = "--garble-byte", .number = &Options::garbleByte, .whyOnlyReference = kLineUnknown},
};

const OptionSpec* findOption(const char* name) {
    for (const OptionSpec& spec : kOptions) {
        if (std::strcmp(spec.name, name) == 0)
            return &spec;
    }
    return nullptr;
}

// The back end is chosen by --firmware and --reference wherever they stand, so that
// every option is judged against it.
bool requested(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

// Why an option cannot be taken with the back end chosen; empty when it can.
std::string refusal(const OptionSpec& spec, const std::string& arg, bool firmware, bool reference) {
    if (firmware && spec.whyNotWithFirmware)
        return arg + " makes no sense with --firmware: " + spec.whyNotWithFirmware;
    if (!reference && spec.whyOnlyReference)
        return arg + " needs --reference or --firmware: " + spec.whyOnlyReference;
    return {};
}

// Takes the value of an option that has one; the reason when it is not of its kind.
std::string store(const OptionSpec& spec, const std::string& arg, const std::string& value,
                  Options& options) {
    char* end = nullptr;
    if (spec.text) {
        options.*spec.text = value;
    } else if (spec.volts) {
        const double volts = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || !(volts >= 0 && volts <= kMostVolts))
            return arg + " needs volts from 0 to 30, not " + value;
        options.*spec.volts = volts;
    } else {
        const long number = std::strtol(value.c_str(), &end, 10);
        if (end == value.c_str() || *end != '\0' || number < 0)
            return arg + " needs a whole number, not " + value;
        options.*spec.number = number;
    }
    return {};
}

// What the values must be beyond their kind.
std::string checked(Options& options) {
    if (!options.mclrJumper.empty() && options.mclrJumper != "boost" && options.mclrJumper != "5v")
        return "--mclr-jumper takes boost or 5v, not " + options.mclrJumper;
    if (!options.adapterName.empty() && !parseUsbAdapter(options.adapterName, options.adapter))
        return "--adapter takes none, uno, ch340, cp2102, ftdi1 or ftdi16, not " +
               options.adapterName;
    return {};
}

} // namespace

sim::UnitSupplies Options::supplies() const {
    sim::UnitSupplies supplies;
    supplies.vppMillivolts = static_cast<int>(std::lround(vppVolts * 1000));
    supplies.vddMillivolts = static_cast<int>(std::lround(vddVolts * 1000));
    supplies.targetPowered = targetPowered;
    supplies.mclrFromFiveVolts = mclrJumper.empty() ? lowVoltage : mclrJumper == "5v";
    supplies.lowVoltage = lowVoltage;
    return supplies;
}

ParsedOptions parseOptions(int argc, char** argv) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    const bool firmware = requested(argc, argv, "--firmware");
    const bool reference = firmware || requested(argc, argv, "--reference");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "--version") {
            parsed.request =
                arg == "--help" ? ParsedOptions::Request::Help : ParsedOptions::Request::Version;
            return parsed;
        }
        const OptionSpec* spec = findOption(argv[i]);
        if (!spec || (spec->firmwareOnly && !firmware)) {
            parsed.error = "bad argument " + arg;
            return parsed;
        }
        parsed.error = refusal(*spec, arg, firmware, reference);
        if (!parsed.error.empty())
            return parsed;
        if (spec->flag) {
            options.*spec->flag = true;
            continue;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            parsed.error = arg + (i + 1 >= argc ? " needs a value" : " has an empty value");
            return parsed;
        }
        parsed.error = store(*spec, arg, argv[++i], options);
        if (!parsed.error.empty())
            return parsed;
    }
    parsed.error = checked(options);
    return parsed;
}

} // namespace tessaline::unitsim
