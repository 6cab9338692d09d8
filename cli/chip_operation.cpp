#include "cli/chip_operation.hpp"

#include "app/qt_operation_host.hpp"
#include "app/qt_serial_port.hpp"

#include <QEventLoop>
#include <QTimer>

#include <ostream>

namespace tessaline {

namespace {

// The command-line tool as the host of an operation: status texts become progress output,
// messages become lines.
class CliHost : public QtOperationHost {
public:
    CliHost(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

    void setStatus(const std::string& text) override {
        const auto slash = text.find('/');
        const bool progress = slash != std::string::npos && text.size() > 2 && text[1] == ':';
        if (!progress) {
            endBar();
            if (!text.empty() && text != m_lastPlain) {
                // Configuration bytes are shown in one line as they go.
                if (text.starts_with("CONF") && m_lastPlain.starts_with("CONF")) {
                    m_out << ' ' << text << std::flush;
                } else {
                    if (m_lastPlain.starts_with("CONF"))
                        m_out << '\n';
                    m_out << text << (text.starts_with("CONF") ? "" : "\n") << std::flush;
                }
                m_lastPlain = text;
            }
            return;
        }
        if (m_lastPlain.starts_with("CONF")) {
            m_out << '\n';
            m_lastPlain.clear();
        }
        const long done = std::stol(text.substr(2, slash - 2));
        const long total = std::stol(text.substr(slash + 1));
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        const std::string memory = text.substr(0, 1) == "F" ? "FLASH" : "EEPROM";
        if (m_terminal) {
            if (percent == m_lastPercent && memory == m_memory)
                return;
            const int filled = percent * 30 / 100;
            m_out << '\r' << memory << " [" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << percent
                  << "% " << text << "   " << std::flush;
            m_barShown = true;
        } else if (memory != m_memory || percent / 10 != m_lastPercent / 10) {
            m_out << memory << ' ' << percent << "% " << text << '\n' << std::flush;
        }
        m_memory = memory;
        m_lastPercent = percent;
    }

    void showMessage(const std::string& text) override {
        endBar();
        std::string plain;
        for (char c : text)
            if (c != '\r')
                plain.push_back(c);
        m_out << plain << '\n' << std::flush;
    }
    void disable() override {}
    void enable() override {}
    void updatedisplay() override {}

private:
    void endBar() {
        if (m_barShown)
            m_out << '\n';
        m_barShown = false;
        m_lastPercent = -1;
        m_memory.clear();
    }

    std::ostream& m_out;
    bool m_terminal;
    bool m_barShown = false;
    int m_lastPercent = -1;
    std::string m_memory;
    std::string m_lastPlain;
};

} // namespace

int runChipOperation(OperationKind kind, ProgrammerState& state, const ChipLink& link,
                     std::ostream& out, std::ostream& err, bool terminal) {
    QtSerialPort port{QString()};
    if (!port.setSettings(link.baud + ",n,8,1")) {
        err << "tessaline-cli: the baud rate '" << link.baud << "' is not usable\n";
        return kExitPort;
    }
    if (!port.openDevice(QString::fromStdString(link.device))) {
        err << "tessaline-cli: cannot open the serial port " << port.description() << "\n";
        return kExitPort;
    }
    CliHost host(out, terminal);
    OperationControl control(state.buffer, state.model, port, host);
    host.attach(control, port);
    port.setReceiveThreshold(1);
    const auto started = control.StartOperation(kind, true, 0);
    if (started == OperationControl::StartResult::ScriptRefused)
        return kExitUsage;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!control.running())
            loop.quit();
    });
    poll.start(5);
    if (control.running())
        loop.exec();
    if (control.lastOperationFailed())
        return kExitPort;
    const OperationTexts& texts = operationTexts(kind);
    return control.lastCompletion() == texts.doneText ? kExitOk : kExitFault;
}

} // namespace tessaline
