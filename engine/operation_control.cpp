#include "engine/operation_control.hpp"

#include "engine/byte_port.hpp"
#include "engine/script_check.hpp"

#include <algorithm>

namespace tessaline {

namespace {

// How long the unit may take to answer one command, on top of the programming time (which
// travels as one byte).
constexpr int kReplyAllowanceMs = 2000;
constexpr int kLongestProgTimeMs = 255;

// A net under every operation: no script of a model needs more commands than this, so an
// operation that sends more is stopped as if the unit had gone silent. A FLASH or
// configuration byte takes a few commands, a data EEPROM byte a few dozen and a polled
// write a few hundred.
constexpr std::int64_t kCommandsBase = 2000;
constexpr std::int64_t kCommandsPerFlashByte = 100;
constexpr std::int64_t kCommandsPerEepromByte = 2000;

} // namespace

OperationHost::~OperationHost() = default;

OperationControl::OperationControl(ProgramBuffer& buffer, SelectedModelValues& model,
                                   BytePort& port, OperationHost& host)
    : m_engine(buffer, model, port, *this), m_buffer(buffer), m_model(model), m_port(port),
      m_host(host) {}

int OperationControl::replyTimeoutMs() const {
    return kReplyAllowanceMs + std::clamp(m_model.ProgTime, 0, kLongestProgTimeMs);
}

std::int64_t OperationControl::commandLimit() const {
    return kCommandsBase +
           kCommandsPerFlashByte * (std::max<std::int64_t>(m_model.FlashSize, 0) + 14) +
           kCommandsPerEepromByte * std::max<std::int64_t>(m_model.EepromSize, 0);
}

const DeviceScript& OperationControl::scriptFor(OperationKind kind) const {
    switch (kind) {
    case OperationKind::Program:
        return m_model.ProgramScript;
    case OperationKind::Read:
        return m_model.ReadScript;
    case OperationKind::Erase:
        return m_model.EraseScript;
    case OperationKind::Blank:
        return m_model.BlankCheckScript;
    case OperationKind::Verify:
        return m_model.VerifyScript;
    }
    return m_model.ProgramScript;
}

void OperationControl::StartOperation(OperationKind kind, bool portReady) {
    if (!portReady) {
        m_host.operationEnded({kind, Outcome::Refused, {}});
        return;
    }
    const DeviceScript& script = scriptFor(kind);
    // A script is checked before any byte goes out, so that a broken record cannot leave
    // the chip half-programmed or the unit powered.
    if (auto problem = checkOperationScript(script, m_model)) {
        m_host.operationEnded({kind, Outcome::Refused, std::move(*problem)});
        return;
    }
    m_kind = kind;
    m_commands = 0;
    m_overLimit = false;
    m_starting = true;
    m_host.disable();
    m_host.operationBegins(kind);
    m_host.letPendingEventsRun();
    if (kind == OperationKind::Read) {
        ResetBuffer(m_buffer, m_model.FlashSize, m_model.EepromSize, m_model.ConfigErased);
        m_host.updatedisplay();
        m_host.letPendingEventsRun();
    }
    // Whatever the unit sent while no operation ran is no reply to this one.
    m_port.readAll();
    m_engine.start(kind, script);
    m_starting = false;
}

void OperationControl::MSComm1_OnComm() {
    const std::vector<std::uint8_t> bytes = m_port.readAll();
    if (bytes.empty())
        return;
    // The unit has answered; the wait for its next reply starts when the next command
    // is out.
    m_host.stopReplyTimer();
    for (std::uint8_t byte : bytes)
        m_engine.receiveByte(byte);
    if (m_overLimit && m_engine.running())
        abort(Outcome::UnitSilent, {});
}

void OperationControl::commandSent() {
    if (!m_engine.running() && !m_starting)
        return;
    if (++m_commands > commandLimit())
        m_overLimit = true;
    m_host.startReplyTimer(replyTimeoutMs());
}

void OperationControl::showMessage(const std::string& text) {
    // The user's reading time is not the unit's silence.
    m_host.stopReplyTimer();
    m_host.showMessage(text);
}

void OperationControl::waitMilliseconds(int milliseconds) {
    m_host.stopReplyTimer();
    m_host.waitMilliseconds(milliseconds);
}

void OperationControl::completeOperation(OperationKind kind) {
    switch (kind) {
    case OperationKind::Program:
        program2_routine();
        break;
    case OperationKind::Read:
        read2_routine();
        break;
    case OperationKind::Erase:
        erase2_routine();
        break;
    case OperationKind::Blank:
        blank2_routine();
        break;
    case OperationKind::Verify:
        verify2_routine();
        break;
    }
}

void OperationControl::finish(OperationKind kind) {
    m_host.stopReplyTimer();
    // Program, read and erase report their end whatever a check inside found.
    const bool checked = kind == OperationKind::Blank || kind == OperationKind::Verify;
    const bool failed = checked && m_engine.state().CheckFailed;
    m_host.operationEnded({kind, failed ? Outcome::CheckFailed : Outcome::Done, {}});
}

void OperationControl::abort(Outcome outcome, const std::string& detail) {
    m_host.stopReplyTimer();
    m_starting = false;
    m_engine.stop();
    m_port.setReceiveThreshold(1);
    m_host.operationEnded({m_kind, outcome, detail});
}

void OperationControl::scriptError(const std::string& message) {
    abort(Outcome::ScriptFailed, message);
}

void OperationControl::replyTimedOut() {
    if (!running())
        return;
    abort(Outcome::UnitSilent, {});
}

void OperationControl::portFailed(const std::string& systemError) {
    if (!running())
        return;
    abort(Outcome::PortFailed, systemError);
}

} // namespace tessaline
