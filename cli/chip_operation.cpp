#include "cli/chip_operation.hpp"

#include "app/qt_operation_host.hpp"
#include "app/qt_serial_port.hpp"
#include "cli/stop_signals.hpp"
#include "engine/operation_texts.hpp"
#include "options/option_rules.hpp"

#include <QEventLoop>

#include <functional>
#include <optional>
#include <ostream>

namespace tessaline {

namespace {

// The command-line tool as the host of an operation: the begin and end texts become
// lines, the progress a bar (or a line per tenth when the output is not a terminal), the
// configuration bytes one line as they go.
class CliHost : public QtOperationHost {
public:
    CliHost(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

    std::function<void(const OperationEnd&)> onEnded;

    void disable() override {}
    void updatedisplay() override {}

    void operationBegins(OperationKind kind) override { printLine(beginText(kind)); }

    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override {
        endConfigLine();
        const int percent = total > 0 ? static_cast<int>(std::int64_t{done} * 100 / total) : 100;
        const std::string text = progressText(memory, done, total);
        const char* name = memory == Memory::Flash ? "FLASH" : "EEPROM";
        if (m_terminal) {
            if (percent == m_lastPercent && memory == m_memory)
                return;
            const int filled = percent * 30 / 100;
            m_out << '\r' << name << " [" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << percent
                  << "% " << text << "   " << std::flush;
            m_barShown = true;
        } else if (memory != m_memory || percent / 10 != m_lastPercent / 10) {
            m_out << name << ' ' << percent << "% " << text << '\n' << std::flush;
        }
        m_memory = memory;
        m_lastPercent = percent;
    }

    void showConfigByte(std::int32_t index) override {
        endBar();
        if (m_configIndex == index)
            return;
        m_out << (m_configIndex ? " " : "") << configByteText(index) << std::flush;
        m_configIndex = index;
    }

    void showMessage(const std::string& text) override {
        endBar();
        endConfigLine();
        std::string plain;
        for (char c : text)
            if (c != '\r')
                plain.push_back(c);
        m_out << plain << '\n' << std::flush;
    }

    void operationEnded(const OperationEnd& end) override {
        printLine(endStatusText(end, 0));
        if (const std::string message = endMessage(end); !message.empty())
            showMessage(message);
        if (onEnded)
            onEnded(end);
    }

private:
    void printLine(const std::string& text) {
        endBar();
        endConfigLine();
        if (!text.empty())
            m_out << text << '\n' << std::flush;
    }
    void endBar() {
        if (m_barShown)
            m_out << '\n';
        m_barShown = false;
        m_lastPercent = -1;
        m_memory.reset();
    }
    void endConfigLine() {
        if (m_configIndex)
            m_out << '\n';
        m_configIndex.reset();
    }

    std::ostream& m_out;
    bool m_terminal;
    bool m_barShown = false;
    int m_lastPercent = -1;
    std::optional<Memory> m_memory;
    std::optional<std::int32_t> m_configIndex;
};

} // namespace

namespace {

// How long the end of an operation waits for bytes that no command asked for.
constexpr int kGracePeriodMs = 100;

} // namespace

int exitStatusFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kExitOk;
    case Outcome::CheckFailed:
        return kExitFault;
    case Outcome::Refused:
        return kExitUsage;
    case Outcome::WrongDevice:
        return kExitWrongDevice;
    case Outcome::Stopped:
        return kExitStopped;
    case Outcome::UnitSilent:
    case Outcome::PortFailed:
    case Outcome::ScriptFailed:
    case Outcome::StrayBytes:
        break;
    }
    return kExitPort;
}

int runChipOperation(OperationKind kind, ProgrammerState& state, const ChipLink& link,
                     std::ostream& out, std::ostream& err, bool terminal,
                     std::optional<OperationEnd>* endOut) {
    QtSerialPort port{QString()};
    if (!port.setSettings(serialSettingsText(link.baud))) {
        err << "tessaline-cli: the baud rate '" << link.baud << "' is not usable\n";
        return kExitPort;
    }
    port.setStartupDelay(link.unitDelayMs);
    if (!port.openDevice(QString::fromStdString(link.device))) {
        err << "tessaline-cli: cannot open the serial port " << port.description() << "\n";
        return kExitPort;
    }
    CliHost host(out, terminal);
    OperationControl control(state.buffer, state.model, port, host);
    control.setTrace(link.trace);
    control.setVerifyAfterProgram(link.verifyAfterProgram);
    control.setDeviceTable(&state.deviceTable);
    // A byte that comes after the last reply still fails the operation.
    control.setGracePeriodMs(kGracePeriodMs);
    host.attach(control, port);
    port.setReceiveThreshold(1);
    QEventLoop loop;
    std::optional<OperationEnd> ended;
    host.onEnded = [&](const OperationEnd& end) {
        ended = end;
        loop.quit();
    };
    // Ctrl-C, a kill or a closed terminal stop the operation after the unit's current
    // reply; the unit removes the voltages before the tool ends.
    const StopSignals stopSignals([&control](int) { control.requestStop(); });
    control.StartOperation(kind, true);
    if (!ended)
        loop.exec();
    if (endOut)
        *endOut = ended;
    const int signalNumber = stopSignals.received();
    if (ended->outcome == Outcome::Stopped) {
        if (!host.waitForEndReply(control.replyTimeoutMs()))
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
