// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-unitsim: the simulated programmer unit with one chip, served on a
// pseudo-terminal so that the programmer can open it like a serial port.
#include "sim/chip_image.hpp"
#include "sim/firmware_unitsim.hpp"
#include "sim/pic18_chip.hpp"
#include "sim/programmer_unit.hpp"
#include "tessaline_version.hpp"
#include "texts/load_texts.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace tessaline;

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

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

struct Options {
    std::string chip = "18F452";
    std::string load;
    std::string save;
    std::string link;
    long baud = 0;
    long replyDelayMs = 0;
    long muteAfter = -1;
    long seed = 12345;
    bool noise = false;
    bool empty = false;
    bool allowPowered = false;
};

// Takes the value after the option argv[i] into out; false with the reason when there is
// none, or it is empty (it would quietly stand for the default).
bool takeValue(int argc, char** argv, int& i, std::string& out, std::string& error) {
    const std::string option = argv[i];
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        error = option + (i + 1 >= argc ? " needs a value" : " has an empty value");
        return false;
    }
    out = argv[++i];
    return true;
}

// False with the reason in error for an argument that is not understood, or an option
// without its value.
bool parse(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) { return takeValue(argc, argv, i, out, error); };
        std::string text;
        if (arg == "--help") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg == "--version") {
            std::cout << "tessaline-unitsim " << kVersion << "\n";
            std::exit(0);
        } else if (arg == "--chip") {
            if (!value(options.chip))
                return false;
        } else if (arg == "--load") {
            if (!value(options.load))
                return false;
        } else if (arg == "--save") {
            if (!value(options.save))
                return false;
        } else if (arg == "--link") {
            if (!value(options.link))
                return false;
        } else if (arg == "--baud" || arg == "--reply-delay" || arg == "--mute-after" ||
                   arg == "--seed") {
            if (!value(text))
                return false;
            char* end = nullptr;
            const long number = std::strtol(text.c_str(), &end, 10);
            if (end == text.c_str() || *end != '\0' || number < 0) {
                error = arg + " needs a whole number, not ";
                error += text;
                return false;
            }
            (arg == "--baud"          ? options.baud
             : arg == "--reply-delay" ? options.replyDelayMs
             : arg == "--seed"        ? options.seed
                                      : options.muteAfter) = number;
        } else if (arg == "--noise") {
            options.noise = true;
        } else if (arg == "--empty") {
            options.empty = true;
        } else if (arg == "--allow-powered") {
            options.allowPowered = true;
        } else {
            error = "bad argument " + arg;
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (sim::wantsFirmware(argc, argv))
        return sim::runFirmwareUnitsim(argc, argv);
    Options options;
    if (std::string error; !parse(argc, argv, options, error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n\n" << kUsage;
        return 2;
    }
    const sim::ChipModel* model = sim::findChipModel(options.chip);
    if (!model) {
        std::cerr << "tessaline-unitsim: unknown chip '" << options.chip
                  << "'; the simulated parts are:" << sim::knownChipNames() << "\n";
        return 2;
    }
    sim::SteadyClock clock;
    sim::Pic18Chip chip(*model, clock, static_cast<std::uint32_t>(options.seed));
    if (std::string error;
        !options.load.empty() && !sim::loadChipImage(options.load, chip, error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        return 2;
    }
    sim::ProgrammerUnit unit(chip, clock);
    unit.muteAfter = options.muteAfter;
    unit.emptySocket = options.empty;

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::cerr << "tessaline-unitsim: no pseudo-terminal: " << std::strerror(errno) << "\n";
        return 2;
    }
    const std::string device = ptsname(master);
    // Holding the terminal open keeps it alive while the programmer closes and reopens it;
    // raw mode lets every byte value through.
    const int keeper = open(device.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    if (keeper >= 0 && tcgetattr(keeper, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(keeper, TCSANOW, &raw);
    }
    if (!options.link.empty()) {
        unlink(options.link.c_str());
        if (symlink(device.c_str(), options.link.c_str()) != 0) {
            std::cerr << "tessaline-unitsim: cannot link " << options.link << ": "
                      << std::strerror(errno) << "\n";
            return 2;
        }
    }
    // The handlers are in place before the path is printed: a harness that stops the
    // simulator as soon as it has read the path still gets the report and the save.
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::cout << device << std::endl;

    // The wire: every byte takes its time at the given rate. Deadlines follow a schedule
    // rather than the time each sleep really ended, so that oversleeping does not add up
    // over the bytes of a command; an idle wire starts the schedule anew.
    const auto byteTime =
        std::chrono::microseconds(options.baud > 0 ? 10'000'000 / options.baud : 0);
    auto wireFree = std::chrono::steady_clock::now();
    auto onWire = [&] {
        if (byteTime.count() == 0)
            return;
        wireFree = std::max(wireFree, std::chrono::steady_clock::now() - byteTime) + byteTime;
        std::this_thread::sleep_until(wireFree);
    };
    std::mt19937 random(static_cast<std::uint32_t>(options.seed));
    while (!g_stop) {
        pollfd ready{master, POLLIN, 0};
        const int polled = poll(&ready, 1, 100);
        if (polled <= 0 || !(ready.revents & POLLIN))
            continue;
        std::uint8_t bytes[256];
        const ssize_t count = read(master, bytes, sizeof bytes);
        if (count <= 0)
            continue;
        for (ssize_t i = 0; i < count; ++i) {
            onWire();
            std::vector<std::uint8_t> reply = unit.receive(bytes[i]);
            if (reply.empty())
                continue;
            if (options.noise && random() % 200 == 0)
                reply.push_back(0xA5);
            if (options.replyDelayMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(options.replyDelayMs));
                wireFree = std::chrono::steady_clock::now();
            }
            for (std::uint8_t byte : reply) {
                onWire();
                if (write(master, &byte, 1) != 1)
                    break;
            }
        }
    }

    if (!options.link.empty())
        unlink(options.link.c_str());
    int status = 0;
    if (!options.save.empty()) {
        std::ofstream out(options.save, std::ios::binary);
        // A small image stays in the stream's buffer until it is flushed.
        out << sim::chipImageHex(chip) << std::flush;
        if (!out) {
            std::cerr << "tessaline-unitsim: cannot write " << options.save << "\n";
            status = 2;
        }
    }
    unit.programEnded(options.allowPowered);
    const std::vector<std::string> violations = unit.allViolations();
    for (const std::string& text : violations)
        std::cerr << "violation: " << text << "\n";
    std::cerr << "tessaline-unitsim: " << unit.commandCount() << " commands, " << violations.size()
              << " violations\n";
    if (keeper >= 0)
        close(keeper);
    close(master);
    return status != 0 ? status : violations.empty() ? 0 : 1;
}
