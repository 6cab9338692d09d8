#include "engine/operation_control.hpp"

#include "buffer/hex_text.hpp"
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

namespace {

// Power up, TBLPTR <- 3FFFFEh, read DEVID1 and DEVID2 with post-increment, power down:
// the same on every family.
const DeviceScript& identifyScript() {
    static const DeviceScript script = [] {
        DeviceScript built =
            decodeScript("begin,s00-0e3f,s00-6ef8,s00-0eff,s00-6ef7,s00-0efe,s00-6ef6");
        for (std::int32_t half = 0; half < 2; ++half) {
            Instruction read;
            read.op = Op::ReadDeviceId;
            read.code = 0x09; // table read, post-increment
            read.configIndex = half;
            built.steps.push_back({half == 0 ? "devid1=s09" : "devid2=s09", read});
        }
        built.steps.push_back({"end", decodeInstruction("end")});
        return built;
    }();
    return script;
}

} // namespace

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
    case OperationKind::Identify:
        return identifyScript();
    }
    return m_model.ProgramScript;
}

bool OperationControl::programScriptVerifies() const {
    const std::vector<ScriptStep>& steps = m_model.ProgramScript.steps;
    return std::any_of(steps.begin(), steps.end(),
                       [](const ScriptStep& step) { return step.instruction.op == Op::IfVerify; });
}

void OperationControl::StartOperation(OperationKind kind, bool portReady) {
    if (!portReady) {
        m_host.operationEnded({kind, Outcome::Refused});
        return;
    }
    if (m_model.Safety.error) {
        m_host.operationEnded({kind, Outcome::Refused, *m_model.Safety.error});
        return;
    }
    // Every script the operation will run is checked before any byte goes out, so that a
    // broken record cannot leave the chip half-programmed or the unit powered.
    std::vector<const DeviceScript*> scripts{&scriptFor(kind)};
    if (kind == OperationKind::Program && m_verifyAfterProgram && !programScriptVerifies())
        scripts.push_back(&m_model.VerifyScript);
    for (const DeviceScript* script : scripts) {
        if (auto problem = checkOperationScript(*script, m_model)) {
            m_host.operationEnded({kind, Outcome::Refused, std::move(*problem)});
            return;
        }
    }
    m_kind = kind;
    m_commands = 0;
    m_overLimit = false;
    m_stopRequested = false;
    m_endReplyDue = false;
    m_pendingEnd.reset();
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
    const bool identifyFirst = kind == OperationKind::Identify || m_model.Safety.deviceId;
    startPhase(identifyFirst ? Phase::Identify : Phase::Main);
    m_starting = false;
}

void OperationControl::startPhase(Phase phase) {
    m_phase = phase;
    const DeviceScript& script = phase == Phase::Identify ? identifyScript()
                                 : phase == Phase::Main   ? scriptFor(m_kind)
                                                          : m_model.VerifyScript;
    m_engine.setVerifyAfterProgram(m_verifyAfterProgram && m_kind == OperationKind::Program);
    // A program script verifies what it wrote before its configuration bytes.
    m_engine.setProtectionInPlace(phase != Phase::Main || m_kind != OperationKind::Program);
    if (phase == Phase::VerifyAfterProgram)
        m_host.readBackBegins();
    m_switching = true;
    m_engine.start(m_kind, script);
    m_switching = false;
}

void OperationControl::MSComm1_OnComm() {
    const std::vector<std::uint8_t> bytes = m_port.readAll();
    if (bytes.empty())
        return;
    if (!running()) {
        m_endReplyDue = false; // the reply to the end command, or noise; dropped
        return;
    }
    // The unit has answered; the wait for its next reply starts when the next command
    // is out.
    m_host.stopReplyTimer();
    // Every byte of this batch arrived before any command that its steps will send, so
    // only the replies due now may be among them.
    int due = m_engine.outstandingReplies();
    for (const std::uint8_t byte : bytes) {
        if (due == 0) {
            abort(Outcome::StrayBytes, {});
            return;
        }
        --due;
        // A stop waits for the end of a loop's pass, where every write of the pass is
        // complete and the chip is idle: a power-down there cuts no instruction, write
        // or erase in two.
        if (m_stopRequested && m_engine.outstandingReplies() == 1 && m_engine.atLoopEnd()) {
            m_engine.consumeReply(byte);
            abort(Outcome::Stopped, {});
            return;
        }
        m_engine.receiveByte(byte);
        if (!running())
            return;
    }
    if (m_overLimit && m_engine.running()) {
        abort(Outcome::UnitSilent, {});
        return;
    }
    // A read's second reply may still be due although no new command went out.
    if (m_engine.running() && m_engine.outstandingReplies() > 0)
        m_host.startReplyTimer(replyTimeoutMs());
}

void OperationControl::commandSent() {
    if (!m_engine.running() && !m_starting && !m_switching)
        return;
    if (++m_commands > commandLimit())
        m_overLimit = true;
    m_host.startReplyTimer(replyTimeoutMs());
}

void OperationControl::showMessage(const std::string& text) {
    // The user's reading time is not the unit's silence.
    m_host.stopReplyTimer();
    m_host.showMessage(text);
    if (m_engine.outstandingReplies() > 0)
        m_host.startReplyTimer(replyTimeoutMs());
}

void OperationControl::waitMilliseconds(int milliseconds) {
    m_host.stopReplyTimer();
    m_host.waitMilliseconds(milliseconds);
}

void OperationControl::completeOperation(OperationKind kind) {
    // Between two scripts the unit has removed the voltages already.
    if (m_stopRequested && m_phase == Phase::Identify && kind != OperationKind::Identify) {
        endOperation({m_kind, Outcome::Stopped});
        return;
    }
    if (m_phase == Phase::Identify) {
        identified();
        return;
    }
    if (m_phase == Phase::Main && kind == OperationKind::Program && m_verifyAfterProgram &&
        !programScriptVerifies() && !m_engine.state().CheckFailed) {
        if (m_stopRequested) {
            endOperation({m_kind, Outcome::Stopped});
            return;
        }
        startPhase(Phase::VerifyAfterProgram);
        return;
    }
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
    case OperationKind::Identify:
        break;
    }
}

// The identify sequence has run and the unit has removed the voltages again.
void OperationControl::identified() {
    const auto read = static_cast<std::uint16_t>(m_engine.state().DeviceIdRead & 0xFFFF);
    if (m_kind == OperationKind::Identify) {
        endOperation({m_kind, Outcome::Done, {}, read});
        return;
    }
    const bool noChip = read == 0x0000 || read == 0xFFFF;
    if (noChip || !m_model.Safety.deviceId->matches(read)) {
        endOperation({m_kind, Outcome::WrongDevice, wrongDeviceText(read), read});
        return;
    }
    startPhase(Phase::Main);
}

std::string OperationControl::wrongDeviceText(std::uint16_t read) const {
    if (read == 0x0000 || read == 0xFFFF)
        return "No chip answers in the socket: its device ID reads " + Hex4(read) +
               "h. Nothing was written.";
    std::string found;
    if (m_table) {
        if (const auto index = modelWithDeviceId(*m_table, read))
            found = ": it is a " + toUpperAscii((*m_table)[*index].model);
    }
    const std::string shown =
        deviceIdText(m_table ? *m_table : DeviceTable{}, read, m_model.Safety.deviceId);
    return "The chip in the socket reports device ID " + shown + found + ", not the selected " +
           m_model.SelectedModelName + ". Nothing was written.";
}

void OperationControl::finish(OperationKind kind) {
    // Erase and read report their end whatever a check inside found; blank check, verify
    // and program (which verifies what it wrote) report the checks.
    const bool checked = kind == OperationKind::Blank || kind == OperationKind::Verify ||
                         kind == OperationKind::Program;
    const bool failed = checked && m_engine.state().CheckFailed;
    endOperation({kind, failed ? Outcome::CheckFailed : Outcome::Done});
}

// The end is reported once the grace period has passed without a stray byte.
void OperationControl::endOperation(const OperationEnd& end) {
    m_host.stopReplyTimer();
    if (m_graceMs > 0) {
        m_pendingEnd = end;
        m_host.startReplyTimer(m_graceMs);
        return;
    }
    m_host.operationEnded(end);
}

void OperationControl::abort(Outcome outcome, const std::string& detail) {
    m_host.stopReplyTimer();
    m_starting = false;
    m_stopRequested = false;
    // After a pending end the unit has removed the voltages already.
    const bool pending = m_pendingEnd.has_value();
    m_pendingEnd.reset();
    if (!pending) {
        m_endReplyDue = m_port.isOpen();
        m_engine.stop();
    }
    m_port.setReceiveThreshold(1);
    m_host.operationEnded({m_kind, outcome, detail});
}

void OperationControl::scriptError(const std::string& message) {
    abort(Outcome::ScriptFailed, message);
}

void OperationControl::replyTimedOut() {
    if (m_pendingEnd) {
        const OperationEnd end = *m_pendingEnd;
        m_pendingEnd.reset();
        m_host.operationEnded(end);
        return;
    }
    if (!running())
        return;
    abort(Outcome::UnitSilent, {});
}

void OperationControl::portFailed(const std::string& systemError) {
    if (!running())
        return;
    abort(Outcome::PortFailed, systemError);
}

void OperationControl::requestStop() {
    if (m_engine.running() || m_starting || m_switching)
        m_stopRequested = true;
}

} // namespace tessaline
