// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/chip_operation.hpp"

#include "app/qt_operation_host.hpp"
#include "app/qt_serial_port.hpp"
#include "app/stop_signals.hpp"
#include "buffer/program_buffer.hpp"
#include "options/option_rules.hpp"
#include "texts/operation_texts.hpp"
#include "texts/port_texts.hpp"

#include <QEventLoop>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <ostream>

namespace tessaline {

namespace {

// The command-line tool as the host of an operation: the begin and success texts become
// lines on standard output, the progress a bar (or a line per tenth when the output is not
// a terminal), the configuration bytes one item with their count; a failure's texts and a
// check's message go to standard error. Program All's read-back of what it wrote is
// labelled as such.
class CliHost : public QtOperationHost {
public:
    CliHost(std::ostream& out, std::ostream& err, bool terminal)
        : m_out(out), m_err(err), m_terminal(terminal) {}

    std::function<void(const OperationEnd&)> onEnded;

    void disable() override {}
    void updatedisplay() override {}

    void operationBegins(OperationKind kind) override {
        endProgress();
        m_out << beginText(kind) << '\n' << std::flush;
    }

    // Said once, before the first progress: a reference unit's mode.
    void linkModeChosen(std::int32_t fastBaud) override {
        endProgress();
        m_out << linkModeText(fastBaud) << '\n' << std::flush;
    }

    void readBackBegins() override {
        endProgress();
        m_label = "Verify after programming: ";
    }
    void readBackEnds() override {
        endProgress();
        m_label.clear();
    }

    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override {
        endConfigItem();
        // A block written or read at the end of the range may reach past its last byte.
        done = std::min(done, total);
        const int percent = total > 0 ? static_cast<int>(std::int64_t{done} * 100 / total) : 100;
        const std::string text = progressText(memory, done, total);
        const char* name = memory == Memory::Flash ? "FLASH" : "EEPROM";
        if (m_terminal) {
            if (percent == m_lastPercent && memory == m_memory)
                return;
            const int filled = percent * 30 / 100;
            m_out << '\r' << m_label << name << " ["
                  << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << percent
                  << "% " << text << "   " << std::flush;
            m_barShown = true;
        } else if (memory != m_memory || percent / 10 != m_lastPercent / 10) {
            m_out << m_label << name << ' ' << percent << "% " << text << '\n' << std::flush;
        }
        m_memory = memory;
        m_lastPercent = percent;
    }

    // The bytes count as they go: on a terminal in place, otherwise as one line when the
    // run of configuration bytes ends.
    void showConfigByte(std::int32_t index) override {
        endBar();
        const bool counted = index >= 0 && index < kConfigByteCount &&
                             !m_configSeen[static_cast<std::size_t>(index)];
        if (counted)
            m_configSeen[static_cast<std::size_t>(index)] = true;
        if (m_terminal && (counted || !m_configShown))
            m_out << '\r' << configItem() << std::flush;
        m_configShown = true;
    }

    void checkFailed(const CheckFailure& failure) override {
        printError(checkFailureMessage(failure));
    }

    void operationEnded(const OperationEnd& end) override {
        const bool good = end.outcome == Outcome::Done;
        // Identify, detect and the unit report print what they found themselves, once.
        const bool printsItself = end.kind == OperationKind::Identify ||
                                  end.kind == OperationKind::DetectUnit ||
                                  end.kind == OperationKind::UnitReport;
        if (!(good && printsItself)) {
            if (const std::string status = endStatusText(end, 0); !status.empty()) {
                if (good) {
                    endProgress();
                    m_out << status << '\n' << std::flush;
                } else {
                    printError(status);
                }
            }
        }
        if (const std::string message = endMessage(end); !message.empty())
            printError(message);
        if (onEnded)
            onEnded(end);
    }

private:
    // Standard output is complete before a failure's text follows it on the terminal.
    void printError(const std::string& text) {
        endProgress();
        m_err << text << '\n' << std::flush;
    }
    void endProgress() {
        endBar();
        endConfigItem();
    }
    void endBar() {
        if (m_barShown)
            m_out << '\n' << std::flush;
        m_barShown = false;
        m_lastPercent = -1;
        m_memory.reset();
    }
    void endConfigItem() {
        if (m_configShown)
            m_out << (m_terminal ? "" : configItem()) << '\n' << std::flush;
        m_configShown = false;
        m_configSeen = {};
    }
    std::string configItem() const {
        const auto count = std::count(m_configSeen.begin(), m_configSeen.end(), true);
        return m_label + "Configuration bytes " + std::to_string(count) + "/" +
               std::to_string(kConfigByteCount);
    }

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_terminal;
    bool m_barShown = false;
    int m_lastPercent = -1;
    std::optional<Memory> m_memory;
    std::string m_label;
    bool m_configShown = false;
    std::array<bool, kConfigByteCount> m_configSeen{};
};

} // namespace

int exitStatusFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kExitOk;
    case Outcome::CheckFailed:
    // Only the model's record refuses an operation here: the port is open by then.
    case Outcome::Refused:
        return kExitFault;
    case Outcome::WrongDevice:
        return kExitWrongDevice;
    case Outcome::Stopped:
        return kExitStopped;
    case Outcome::UnitSilent:
    case Outcome::PortFailed:
    case Outcome::ScriptFailed:
    case Outcome::StrayBytes:
    case Outcome::UnitRefused:
    case Outcome::LinkFailed:
        break;
    }
    return kExitPort;
}

int runChipOperation(OperationKind kind, ProgrammerState& state, const ChipLink& link,
                     std::ostream& out, std::ostream& err, bool terminal,
                     std::optional<OperationEnd>* endOut) {
    QtSerialPort port{QString()};
    port.setSettings(link.serial);
    port.setStartupDelay(link.unitDelayMs);
    CliHost host(out, err, terminal);
    OperationControl control(state.buffer, state.model, port, host);
    QEventLoop loop;
    bool operationStarted = false;
    // Ctrl-C, a kill or a closed terminal stop the operation after the unit's current
    // reply; the unit removes the voltages before the tool ends. Before the first command
    // (the unit still starting) nothing needs undoing, and the tool ends at once.
    const StopSignals stopSignals([&](int) {
        if (operationStarted)
            control.requestStop();
        else
            loop.quit();
    });
    if (!port.openDevice(QString::fromStdString(link.device))) {
        err << "tessaline-cli: cannot open the serial port: " << port.description() << "\n";
        return kExitPort;
    }
    if (port.starting()) {
        out << unitStartWaitText(link.unitDelayMs) << '\n' << std::flush;
        std::string failure;
        port.setStartedHandler([&loop] { loop.quit(); });
        port.setErrorHandler([&](const std::string& text) {
            failure = text;
            loop.quit();
        });
        loop.exec();
        if (const int signalNumber = stopSignals.received(); signalNumber != 0)
            return kExitSignalBase + signalNumber;
        if (!failure.empty()) {
            err << "tessaline-cli: the serial port failed: " << failure << "\n";
            return kExitPort;
        }
    }
    control.setTrace(link.trace);
    control.setUnitType(link.unitType);
    control.setFastBaud(link.fastBaud);
    control.setVerifyAfterProgram(link.verifyAfterProgram);
    control.setModelIdentities(&state.modelIdentities);
    // A byte that comes after the last reply still fails the operation.
    control.setGracePeriodMs(kStrayByteGraceMs);
    host.attach(control, port);
    control.portOpened();
    port.setReceiveThreshold(1);
    std::optional<OperationEnd> ended;
    host.onEnded = [&](const OperationEnd& end) {
        ended = end;
        loop.quit();
    };
    operationStarted = true;
    if (kind == OperationKind::Calibrate)
        control.StartCalibrate(true, link.calibrationMillivolts);
    else
        control.StartOperation(kind, true);
    if (!ended)
        loop.exec();
    if (endOut)
        *endOut = ended;
    const int signalNumber = stopSignals.received();
    if (ended->outcome == Outcome::Stopped) {
        if (!control.unitIdle())
            err << "tessaline-cli: the programmer unit did not confirm the end of the "
                   "operation\n";
        return signalNumber != 0 ? kExitSignalBase + signalNumber : kExitStopped;
    }
    // A signal that came where the chip could not be left (an erase, the configuration
    // bytes, the last steps) let the operation finish; the tool still ends as stopped.
    if (signalNumber != 0) {
        err << "tessaline-cli: stopped by signal " << signalNumber
            << " after the operation's last steps\n";
        return kExitSignalBase + signalNumber;
    }
    return exitStatusFor(ended->outcome);
}

} // namespace tessaline
