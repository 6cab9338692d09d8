// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitsim/options.hpp"

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
    "  --baud B           pace every byte as a wire at B baud would\n"
    "  --reply-delay MS   wait this long before every reply\n"
    "  --mute-after N     take nothing more after N commands (a hung unit)\n"
    "  --noise            send a stray byte now and then\n"
    "  --seed N           seed of the noise and of the chip's undefined power-up state\n"
    "  --empty            no chip in the socket: every read gives 00h\n"
    "  --allow-powered    a chip still powered at the end is no violation\n"
    "  --firmware FILE.elf  run the unit's firmware (tessaline-unit.elf) in a simulated\n"
    "                     ATmega328P whose pins drive the chip; then also:\n"
    "  --vcd FILE         write the ICSP lines for a waveform viewer\n"
    "  --lvp              the unit's jumpers set for low-voltage entry\n"
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
    // The firmware decides these for itself.
    const char* whyNotWithFirmware = nullptr;
    // Only the firmware's circuit has these: to the transfer-level unit they are unknown.
    bool firmwareOnly = false;
};

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
    {.name = "--seed", .number = &Options::seed},
    {.name = "--noise",
     .flag = &Options::noise,
     .whyNotWithFirmware = "faults are the firmware's own"},
    {.name = "--empty", .flag = &Options::empty},
    {.name = "--allow-powered", .flag = &Options::allowPowered},
    {.name = "--lvp", .flag = &Options::lowVoltage, .firmwareOnly = true},
};

const OptionSpec* findOption(const char* name) {
    for (const OptionSpec& spec : kOptions) {
        if (std::strcmp(spec.name, name) == 0)
            return &spec;
    }
    return nullptr;
}

// The back end is chosen by --firmware wherever it stands, so that every option is judged
// against it.
bool firmwareRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--firmware") == 0)
            return true;
    }
    return false;
}

} // namespace

ParsedOptions parseOptions(int argc, char** argv) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    const bool firmware = firmwareRequested(argc, argv);
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
        if (firmware && spec->whyNotWithFirmware) {
            parsed.error = arg + " makes no sense with --firmware: " + spec->whyNotWithFirmware;
            return parsed;
        }
        if (spec->flag) {
            options.*spec->flag = true;
            continue;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            parsed.error = arg + (i + 1 >= argc ? " needs a value" : " has an empty value");
            return parsed;
        }
        const std::string value = argv[++i];
        if (spec->text) {
            options.*spec->text = value;
            continue;
        }
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        if (end == value.c_str() || *end != '\0' || number < 0) {
            parsed.error = arg + " needs a whole number, not " + value;
            return parsed;
        }
        options.*spec->number = number;
    }
    return parsed;
}

} // namespace tessaline::unitsim
