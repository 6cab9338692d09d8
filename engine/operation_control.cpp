#include "engine/operation_control.hpp"

#include "engine/byte_port.hpp"
#include "engine/programmer_link.hpp"
#include "engine/script_check.hpp"

namespace tessaline {

namespace {

const OperationTexts kTexts[] = {
    {"program", "Begin program all", "Chip programmed", "Chip programmed", "Program all"},
    {"read", "Begin read all", "Chip read", "Chip read", "Read all"},
    {"erase", "Begin erase all", "Chip erased", "Chip erased", "Erase all"},
    {"blank", "Begin blank check", "Chip is blank", "Chip is not blank", "Blank check"},
    {"verify", "Begin verify", "Chip verified", "Chip verify failed", "Verify"},
};

// How long the unit may take to answer one command, on top of the programming time.
constexpr int kReplyAllowanceMs = 2000;

} // namespace

OperationHost::~OperationHost() = default;

const OperationTexts& operationTexts(OperationKind kind) {
    return kTexts[static_cast<int>(kind)];
}

OperationControl::OperationControl(ProgramBuffer& buffer, SelectedModelValues& model,
                                   BytePort& port, OperationHost& host)
    : engine(buffer, model, port, *this), m_buffer(buffer), m_model(model), m_port(port),
      m_host(host) {}

int OperationControl::replyTimeoutMs() const {
    return kReplyAllowanceMs + std::max(m_model.ProgTime, 0);
}

const Script& OperationControl::scriptFor(OperationKind kind) const {
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

OperationControl::StartResult OperationControl::StartOperation(OperationKind kind, bool portReady,
                                                               std::int32_t portNumber) {
    if (!portReady) {
        m_host.setStatus("Serial port " + std::to_string(portNumber) + " error!");
        return StartResult::PortNotReady;
    }
    const Script& script = scriptFor(kind);
    // A script is checked before any byte goes out, so that a broken record cannot leave
    // the chip half-programmed or the unit powered.
    if (const auto problem = checkScript(script, m_model.VoltageSequence)) {
        m_host.showMessage(*problem + "\r\nThe operation was not started.");
        return StartResult::ScriptRefused;
    }
    m_kind = kind;
    m_starting = true;
    m_lastCompletion.clear();
    m_lastFailed = false;
    ExecutionState& state = engine.state;
    engine.loadScript(script);
    state.FlashLastAddress = m_model.FlashSize - 1;
    state.EepromLastAddress = m_model.EepromSize - 1;
    state.CurrentAddress = 0;
    state.InstructionPhase = 0;
    if (kind == OperationKind::Blank || kind == OperationKind::Verify)
        state.CheckFailed = false;
    m_host.disable();
    m_host.setStatus(operationTexts(kind).beginText);
    m_host.letPendingEventsRun();
    if (kind == OperationKind::Read) {
        ResetBuffer(m_buffer, m_model.FlashSize, m_model.EepromSize, m_model.ConfigErased);
        m_host.updatedisplay();
        m_host.letPendingEventsRun();
    }
    // Whatever the unit sent while no operation ran is no reply to this one.
    m_port.readAll();
    state.InstructionIndex = 1;
    engine.RunScriptStep(true);
    m_starting = false;
    if (engine.halted())
        return StartResult::Started;
    state.RunningOperation = operationTexts(kind).word;
    m_host.startReplyTimer(replyTimeoutMs());
    return StartResult::Started;
}

void OperationControl::MSComm1_OnComm() {
    const std::vector<std::uint8_t> bytes = m_port.readAll();
    for (std::uint8_t byte : bytes) {
        if (engine.state.RunningOperation.empty() || engine.halted())
            return; // no operation runs: the byte is dropped
        engine.state.ReceivedByte = byte;
        engine.RunScriptStep(false);
    }
    if (!bytes.empty() && !engine.state.RunningOperation.empty() && !engine.halted())
        m_host.startReplyTimer(replyTimeoutMs());
}

void OperationControl::completeOperation(const std::string& operation) {
    using Routine = void (OperationControl::*)();
    static const std::pair<const char*, Routine> kRoutines[] = {
        {"program", &OperationControl::program2_routine},
        {"erase", &OperationControl::erase2_routine},
        {"read", &OperationControl::read2_routine},
        {"blank", &OperationControl::blank2_routine},
        {"verify", &OperationControl::verify2_routine},
    };
    for (const auto& [word, routine] : kRoutines)
        if (operation == word)
            (this->*routine)();
}

void OperationControl::finish(OperationKind kind) {
    m_host.stopReplyTimer();
    m_host.enable();
    const OperationTexts& texts = operationTexts(kind);
    const bool checked = kind == OperationKind::Blank || kind == OperationKind::Verify;
    m_lastCompletion = checked && engine.state.CheckFailed ? texts.failedText : texts.doneText;
    m_host.setStatus(m_lastCompletion);
    m_host.letPendingEventsRun();
    if (kind == OperationKind::Read) {
        m_host.updatedisplay();
        m_host.letPendingEventsRun();
    }
}

void OperationControl::abort(const std::string& message) {
    m_host.stopReplyTimer();
    engine.state.RunningOperation.clear();
    m_starting = false;
    m_lastFailed = true;
    // Ask the unit to remove the programming voltages; its reply, if any, is dropped.
    if (m_port.isOpen()) {
        m_port.writeByte(kCmdEnd);
        m_host.letPendingEventsRun();
    }
    m_port.setReceiveThreshold(1);
    m_host.setStatus(std::string(operationTexts(m_kind).failureName) + " failed");
    m_host.enable();
    if (m_kind == OperationKind::Read)
        m_host.updatedisplay();
    m_host.showMessage(message);
}

void OperationControl::scriptError(const std::string& message) {
    abort(message + "\r\nThe operation was stopped.");
}

void OperationControl::replyTimedOut() {
    if (!running())
        return;
    engine.state.RunningOperation.clear();
    abort("The programmer unit does not answer.\r\nThe operation was stopped.");
}

void OperationControl::portFailed(const std::string& systemError) {
    if (!running())
        return;
    abort("The serial port failed: " + systemError + "\r\nThe operation was stopped.");
}

} // namespace tessaline
