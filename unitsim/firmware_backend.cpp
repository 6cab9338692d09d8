// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitsim/firmware_backend.hpp"

#include "sim/chip_image.hpp"
#include "sim/chip_models.hpp"

#ifdef TESSALINE_HAVE_SIMAVR
#include "pinlevel/avr_unit.hpp"
#include "unitsim/pty_bridge.hpp"
#endif

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace tessaline::sim {

bool wantsFirmware(int argc, char** argv) {
    bool firmware = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "--version") == 0)
            return false;
        firmware = firmware || std::strcmp(argv[i], "--firmware") == 0;
    }
    return firmware;
}

namespace {

#ifdef TESSALINE_HAVE_SIMAVR
using pinlevel::AvrUnit;

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}
#endif

struct Options {
    std::string firmware;
    std::string chip = "18F452";
    std::string load;
    std::string save;
    std::string link;
    std::string vcd;
    long seed = 12345;
    bool empty = false;
    bool allowPowered = false;
    bool lowVoltage = false;
};

// Options of the simulated unit that the firmware decides for itself.
const char* whyNotWithFirmware(const std::string& option) {
    if (option == "--baud")
        return "the firmware's UART sets the pace";
    if (option == "--reply-delay")
        return "the firmware answers when its pin work is done";
    if (option == "--mute-after" || option == "--noise")
        return "faults are the firmware's own";
    return nullptr;
}

bool parse(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (const char* why = whyNotWithFirmware(arg)) {
            error = arg + " makes no sense with --firmware: " + why;
            return false;
        }
        bool ok = true;
        if (arg == "--firmware") {
            ok = value(options.firmware);
        } else if (arg == "--chip") {
            ok = value(options.chip);
        } else if (arg == "--load") {
            ok = value(options.load);
        } else if (arg == "--save") {
            ok = value(options.save);
        } else if (arg == "--link") {
            ok = value(options.link);
        } else if (arg == "--vcd") {
            ok = value(options.vcd);
        } else if (arg == "--seed") {
            std::string text;
            ok = value(text);
            char* end = nullptr;
            options.seed = ok ? std::strtol(text.c_str(), &end, 10) : 0;
            if (ok && (end == text.c_str() || *end != '\0' || options.seed < 0)) {
                error = "--seed needs a whole number, not " + text;
                return false;
            }
        } else if (arg == "--empty") {
            options.empty = true;
        } else if (arg == "--allow-powered") {
            options.allowPowered = true;
        } else if (arg == "--lvp") {
            options.lowVoltage = true;
        } else {
            error = "bad argument " + arg;
            return false;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

int runFirmwareUnitsim(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parse(argc, argv, options, error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        return 2;
    }
#ifndef TESSALINE_HAVE_SIMAVR
    std::cerr << "tessaline-unitsim: this build has no AVR simulator (libsimavr), so it cannot "
                 "run --firmware\n";
    return 2;
#else
    const ChipModel* model = findChipModel(options.chip);
    if (!model) {
        std::cerr << "tessaline-unitsim: unknown chip '" << options.chip
                  << "'; the simulated parts are:" << knownChipNames() << "\n";
        return 2;
    }
    AvrUnit::Setup setup;
    setup.firmware = options.firmware;
    setup.model = model;
    setup.seed = static_cast<std::uint32_t>(options.seed);
    setup.emptySocket = options.empty;
    setup.supplies.lowVoltage = options.lowVoltage;
    setup.supplies.mclrFromFiveVolts = options.lowVoltage;
    AvrUnit unit(setup);
    if (!unit.error().empty()) {
        std::cerr << "tessaline-unitsim: " << unit.error() << "\n";
        return 2;
    }
    if (!options.load.empty() && !loadChipImage(options.load, unit.chip(), error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        return 2;
    }
    std::ofstream vcd;
    if (!options.vcd.empty()) {
        vcd.open(options.vcd, std::ios::binary);
        if (!vcd) {
            std::cerr << "tessaline-unitsim: cannot write " << options.vcd << "\n";
            return 2;
        }
        unit.writeVcd(vcd);
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    PtyBridge pty;
    if (!pty.open(options.link, error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        return 2;
    }
    std::cout << pty.device() << std::endl;

    // One thread: every 100 µs of simulated time the bridge takes what the programmer
    // wrote; while the firmware sleeps, simulated time waits for the wall clock.
    unit.setRealTime(true);
    unit.onByte = [&pty](std::uint8_t byte) { pty.write(byte); };
    unit.setPoll(1600, [&pty, &unit] {
        for (const char byte : pty.read())
            unit.send(static_cast<std::uint8_t>(byte));
    });
    while (!g_stop && unit.step()) {
    }
    unit.finish(options.allowPowered);

    int status = 0;
    if (!options.save.empty()) {
        std::ofstream out(options.save, std::ios::binary);
        out << chipImageHex(unit.chip());
        if (!out) {
            std::cerr << "tessaline-unitsim: cannot write " << options.save << "\n";
            status = 2;
        }
    }
    const std::vector<std::string> violations = unit.violations();
    for (const std::string& text : violations)
        std::cerr << "violation: " << text << "\n";
    std::cerr << "tessaline-unitsim: " << unit.monitor().commands() << " commands, "
              << violations.size() << " violations\n";
    return status != 0 ? status : violations.empty() ? 0 : 1;
#endif
}

} // namespace tessaline::sim
