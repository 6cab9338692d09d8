// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-unitsim: a simulated programmer unit with one chip, served on a
// pseudo-terminal so that the programmer can open it like a serial port. Behind it runs
// either the transfer-level unit or the unit's firmware in a simulated ATmega328P.
#include "sim/chip_image.hpp"
#include "sim/chip_models.hpp"
#include "tessaline_version.hpp"
#include "unitsim/backend.hpp"
#include "unitsim/options.hpp"
#include "unitsim/pty_bridge.hpp"

#include <csignal>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>

using namespace tessaline;
using namespace tessaline::unitsim;

namespace {

StopFlag g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

int usageError(const Options& options, const std::string& error) {
    std::cerr << "tessaline-unitsim: " << error << "\n";
    // The transfer-level unit shows its options with the complaint.
    if (!options.firmwareBackend())
        std::cerr << "\n" << kUsage;
    return 2;
}

// Saves the chip's memories when asked, and reports what the run got wrong: 0 when
// nothing, 1 for violations or a waveform not written to its end, 2 when the image could
// not be saved.
int report(Backend& backend, const Options& options) {
    int status = 0;
    if (!options.save.empty()) {
        std::ofstream out(options.save, std::ios::binary);
        // A small image stays in the stream's buffer until it is flushed.
        out << sim::chipImageHex(backend.chip()) << std::flush;
        if (!out) {
            std::cerr << "tessaline-unitsim: cannot write " << options.save << "\n";
            status = 2;
        }
    }
    if (std::string error; !backend.flushOutputs(error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        status = status != 0 ? status : 1;
    }
    const std::vector<std::string> violations = backend.violations();
    for (const std::string& text : violations)
        std::cerr << "violation: " << text << "\n";
    std::cerr << "tessaline-unitsim: " << backend.commands() << " commands, " << violations.size()
              << " violations";
    if (const double seconds = backend.simulatedSeconds(); seconds >= 0)
        std::cerr << ", " << std::fixed << std::setprecision(3) << seconds
                  << " s of simulated time";
    std::cerr << "\n";
    return status != 0 ? status : violations.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseOptions(argc, argv);
    const Options& options = parsed.options;
    if (parsed.request == ParsedOptions::Request::Help) {
        std::cout << kUsage;
        return 0;
    }
    if (parsed.request == ParsedOptions::Request::Version) {
        std::cout << "tessaline-unitsim " << kVersion << "\n";
        return 0;
    }
    if (!parsed.error.empty())
        return usageError(options, parsed.error);
    const sim::ChipModel* model = sim::findChipModel(options.chip);
    if (!model) {
        std::cerr << "tessaline-unitsim: unknown chip '" << options.chip
                  << "'; the simulated parts are:" << sim::knownChipNames() << "\n";
        return 2;
    }
    std::string error;
    const std::unique_ptr<Backend> backend = options.firmwareBackend()
                                                 ? makeFirmwareBackend(options, *model, error)
                                                 : makeTransferBackend(options, *model);
    if (!backend) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        return 2;
    }
    if (!options.load.empty() && !sim::loadChipImage(options.load, backend->chip(), error)) {
        std::cerr << "tessaline-unitsim: " << error << "\n";
        return 2;
    }
    // The handlers are in place before the path is printed: a harness that stops the
    // simulator as soon as it has read the path still gets the report and the save.
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
    backend->serve(pty, g_stop);
    backend->finish(options.allowPowered);
    return report(*backend, options);
}
