// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/operation_control.hpp"

#include "devices/script_check.hpp"
#include "engine/byte_port.hpp"

#include "protocol/unit_protocol.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tessaline {

namespace {

// How long the unit may take to answer one command, on top of the programming time (which
// travels as one byte).
constexpr int kReplyAllowanceMs = 2000;

// A net under every operation: no script of a model needs more commands than this, so an
// operation that sends more is stopped as if the unit had gone silent. A FLASH or
// configuration byte takes a few commands, a data EEPROM byte a few dozen and a polled
// write a few hundred.
constexpr std::int64_t kCommandsBase = 2000;
constexpr std::int64_t kCommandsPerFlashByte = 100;
constexpr std::int64_t kCommandsPerEepromByte = 2000;

// The ICSP command code of a core instruction.
constexpr int kCoreInstruction = 0x0;
// How long a cut core instruction's completion holds the power: the longest bulk erase
// or data EEPROM write its 4th clock may have started, P11 of up to 15 ms, plus P10.
constexpr int kCutFrameHoldMs = kCutCoreInstructionHoldMs;
// Beyond the unit's partial-command time, for the unit's own clock.
constexpr int kQuietMarginMs = 50;
// A silent reference unit takes the end command only after a quiet line; twice that, for
// the unit's own clock.
constexpr int kSilentUnitQuietMs = 2 * kUnitSilenceQuietMs;

// Fast mode's handshake: ENTER's two reply bytes come at 56000 baud, and the first packet's
// reply at the new rate, each well within this (a USB adapter holds bytes up to 16 ms).
constexpr int kHandshakeReplyMs = 200;
// The unit switches its rate once ENTER's reply is out; the program switches its own and
// gives the unit this long before the first packet.
constexpr int kRateSwitchMs = 20;
// A unit that switched but is not heard at the new rate falls back to 56000 baud after
// kFastQuietMs of quiet; the program waits that long and a little more.
constexpr int kFastFallbackMs = kFastQuietMs + 100;
// Recovery: ABORT goes out after a quiet line, so that the unit's receiver has dropped a
// packet cut short and waits for a packet's first byte; its reply is awaited this long
// beyond what the packets in flight still run; without one, the line is left quiet this
// long; then the end command at 56000 baud, up to three times, this far apart.
constexpr int kAbortQuietMs = kPacketByteGapMs + 10;
constexpr int kAbortReplyMs = 100;
constexpr int kNoAbortReplyQuietMs = 150;
constexpr int kRecoveryEndReplyMs = 300;
constexpr int kRecoveryEndTries = 3;
// After LEAVE's reply, before a byte at 56000 baud: the unit switches once its reply has
// left the line, and the program receives the last byte as it leaves.
constexpr int kLeaveSettleMs = 2;
// The rate of plain mode, to which every unit returns.
constexpr std::int32_t kPlainBaud = 56000;

// The FastRate of a rate in baud; kFastRateCount for none.
std::uint8_t fastRateIndex(std::int32_t baud) {
    for (std::uint8_t rate = kRate250000; rate < kFastRateCount; ++rate)
        if (fastRateBaud(rate) == static_cast<std::uint32_t>(baud))
            return rate;
    return kFastRateCount;
}

bool isUnitOperation(OperationKind kind) {
    return kind == OperationKind::DetectUnit || kind == OperationKind::UnitReport ||
           kind == OperationKind::Calibrate;
}

// The word the unit's own commands carry in the trace.
const char* unitWord(OperationKind kind) {
    return kind == OperationKind::DetectUnit   ? "detect unit"
           : kind == OperationKind::UnitReport ? "unit report"
                                               : "calibrate";
}

} // namespace

OperationHost::~OperationHost() = default;

OperationControl::OperationControl(ProgramBuffer& buffer, const SelectedModelValues& model,
                                   BytePort& port, OperationHost& host)
    : m_engine(buffer, model, port, *this), m_buffer(buffer), m_model(model), m_port(port),
      m_host(host), m_batch(port) {}

int OperationControl::replyTimeoutMs() const {
    return kReplyAllowanceMs + std::clamp(m_model.ProgTime, 0, kLongestUnitProgTimeMs);
}

std::int64_t OperationControl::commandLimit() const {
    return kCommandsBase +
           kCommandsPerFlashByte * (std::max<std::int64_t>(m_model.FlashSize, 0) + 14) +
           kCommandsPerEepromByte * std::max<std::int64_t>(m_model.EepromSize, 0);
}

namespace {

// Power up, TBLPTR <- 3FFFFEh, read DEVID1 and DEVID2 with post-increment, power down:
// the same on every family.
// The end command alone: a unit in an unknown state removes the programming voltages
// (and drops a command code that waits for its operand) before anything powers up.
const DeviceScript& powerDownScript() {
    static const DeviceScript script = decodeScript("end");
    return script;
}

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
    case OperationKind::DetectUnit:
    case OperationKind::UnitReport:
    case OperationKind::Calibrate:
        break;
    }
    return powerDownScript();
}

bool OperationControl::programScriptVerifies() const {
    const std::vector<ScriptStep>& steps = m_model.ProgramScript.steps;
    return std::any_of(steps.begin(), steps.end(),
                       [](const ScriptStep& step) { return step.instruction.op == Op::IfVerify; });
}

// Program All reads back what it wrote with the verify script, unless its own script
// verifies before the configuration bytes.
bool OperationControl::readBackFollows(OperationKind kind) const {
    return kind == OperationKind::Program && m_verifyAfterProgram && !programScriptVerifies();
}

void OperationControl::StartOperation(OperationKind kind, bool portReady) {
    if (!portReady) {
        m_host.operationEnded({kind, Outcome::Refused});
        return;
    }
    const bool unitsOwn = isUnitOperation(kind);
    // The report and the calibration are the reference unit's own commands, which no unit
    // of another type ever gets.
    if (unitsOwn && kind != OperationKind::DetectUnit && !reference()) {
        OperationEnd refused{kind, Outcome::Refused};
        refused.unitType = unitType();
        m_host.operationEnded(refused);
        return;
    }
    if (m_model.Safety.error && !unitsOwn) {
        m_host.operationEnded({kind, Outcome::Refused, *m_model.Safety.error});
        return;
    }
    // Every script the operation will run is checked before any byte goes out, so that a
    // broken record cannot leave the chip half-programmed or the unit powered.
    std::vector<const DeviceScript*> scripts;
    if (!unitsOwn)
        scripts.push_back(&scriptFor(kind));
    if (readBackFollows(kind))
        scripts.push_back(&m_model.VerifyScript);
    for (const DeviceScript* script : scripts) {
        if (auto problem = checkOperationScript(*script, m_model)) {
            m_host.operationEnded({kind, Outcome::Refused, std::move(*problem)});
            return;
        }
    }
    m_kind = kind;
    m_commands = 0;
    m_stopWith.reset();
    m_heldFailure.reset();
    m_powerDownStatus = 0;
    m_stage = Stage::Starting;
    m_host.disable();
    m_host.operationBegins(kind);
    m_host.letPendingEventsRun();
    if (kind == OperationKind::Read && m_stage == Stage::Starting) {
        ResetBuffer(m_buffer, m_model.FlashSize, m_model.EepromSize, m_model.ConfigErased);
        m_host.updatedisplay();
        m_host.letPendingEventsRun();
    }
    // The events that ran may have ended the operation already (a failed port).
    if (m_stage != Stage::Starting)
        return;
    // Whatever the unit sent while no operation ran is no reply to this one.
    m_port.readAll();
    m_engine.resetReplies();
    // A stop before the first command ends here, unless the unit's state is unknown: then
    // it is powered down first, and the stop ends the operation after that.
    if (m_stopWith && m_unitIdle) {
        endOperation({m_kind, *m_stopWith});
        return;
    }
    m_completionDue = false;
    m_progress.reset();
    // The unit takes its own commands only while powered down, and the probe counts only
    // from a power-down on. Fast mode begins with the unit powered down.
    if (!m_unitIdle && m_fastLeftAt > 0)
        abortLeftFastMode();
    if (!m_unitIdle || unitsOwn)
        startScript(Stage::PowerDown);
    else if (fastWanted())
        startHandshake();
    else
        startScript(firstScriptStage());
}

OperationControl::Stage OperationControl::firstScriptStage() const {
    if (isUnitOperation(m_kind))
        return Stage::Unit;
    return m_kind == OperationKind::Identify || m_model.Safety.deviceId ? Stage::Identify
                                                                        : Stage::Main;
}

// The script that follows one that has run to its end; none after the last.
std::optional<OperationControl::Stage> OperationControl::scriptAfter(Stage ended) const {
    switch (ended) {
    case Stage::PowerDown:
        return firstScriptStage();
    case Stage::Identify:
        if (m_kind != OperationKind::Identify)
            return Stage::Main;
        break;
    case Stage::Main:
        // A check that failed has ended the program script early: nothing to read back.
        if (readBackFollows(m_kind) && !m_engine.state().CheckFailed)
            return Stage::ReadBack;
        break;
    default:
        break;
    }
    return std::nullopt;
}

// A program that died while it wrote a command may have left part of one in the unit,
// which would take the end command for a missing argument byte. The unit drops a partial
// command once the line has been quiet for its partial-command time; nothing of ours went
// out since the port opened, so that time counts from the opening.
void OperationControl::waitForAQuietLine() {
    using namespace std::chrono;
    const auto quiet = duration_cast<milliseconds>(steady_clock::now() - m_portOpenedAt);
    const auto left = milliseconds(kUnitPartialCommandMs + kQuietMarginMs) - quiet;
    if (left.count() > 0)
        m_host.waitMilliseconds(static_cast<int>(left.count()));
}

bool OperationControl::runningScript() const {
    return m_stage == Stage::PowerDown || m_stage == Stage::Identify || m_stage == Stage::Main ||
           m_stage == Stage::ReadBack;
}

// A script that ends starts the next through pump(), which returns at once when
// re-entered (m_pumping): the call chain is no recursion at run time.
// NOLINTNEXTLINE(misc-no-recursion)
void OperationControl::startScript(Stage stage) {
    m_stage = stage;
    if (stage == Stage::PowerDown) {
        waitForAQuietLine();
        // What came meanwhile (a late reply to the program that went before) answers
        // nothing of this operation.
        m_port.readAll();
    }
    m_unitIdle = false;
    if (stage == Stage::Unit) {
        startUnitCommands();
        return;
    }
    const DeviceScript& script = stage == Stage::PowerDown  ? powerDownScript()
                                 : stage == Stage::Identify ? identifyScript()
                                 : stage == Stage::Main     ? scriptFor(m_kind)
                                                            : m_model.VerifyScript;
    m_engine.setVerifyAfterProgram(m_verifyAfterProgram && m_kind == OperationKind::Program);
    // A program script verifies what it wrote before its configuration bytes.
    m_engine.setProtectionInPlace(stage != Stage::Main || m_kind != OperationKind::Program);
    if (stage == Stage::ReadBack)
        m_host.readBackBegins();
    m_engine.start(m_kind, script);
    if (m_fast)
        pump();
}

void OperationControl::MSComm1_OnComm() {
    const std::vector<std::uint8_t> bytes = m_port.readAll();
    if (bytes.empty())
        return;
    switch (m_stage) {
    case Stage::Idle:
    case Stage::Starting:
    case Stage::Aborting:
    case Stage::Reporting:
        // Nothing was asked, or nothing is awaited: noise, or the late reply to an
        // operation that has ended.
        return;
    case Stage::EndPending:
        // The scripts have ended with the unit powered down; anything more is a byte that
        // no command asked for.
        strayAfterTheEnd();
        return;
    case Stage::CompletingFrame:
    case Stage::Stopping:
        if (m_fast)
            fastBytes(bytes);
        else
            stoppingReplies(bytes);
        return;
    case Stage::PowerDown:
    case Stage::Identify:
    case Stage::Main:
    case Stage::ReadBack:
        if (m_fast)
            fastBytes(bytes);
        else
            scriptReplies(bytes);
        return;
    case Stage::Unit:
        unitReplies(bytes);
        return;
    case Stage::Handshake:
        handshakeReplies(bytes);
        return;
    case Stage::Leaving:
        fastBytes(bytes);
        return;
    case Stage::Recovering:
        recoveryReplies(bytes, 0);
        return;
    }
}

// Every byte of a batch arrived before any command that its steps will send, so only the
// replies due now may be among them.
void OperationControl::scriptReplies(const std::vector<std::uint8_t>& bytes) {
    // The unit has answered; the wait for its next reply starts when the next command
    // is out.
    m_host.stopReplyTimer();
    int due = m_engine.outstandingReplies();
    for (const std::uint8_t byte : bytes) {
        if (!runningScript()) {
            // The scripts ended with an earlier byte of the batch, or the operation is
            // being stopped: the rest came before anything that could answer.
            if (m_stage == Stage::EndPending)
                strayAfterTheEnd();
            else if (m_stage == Stage::Unit)
                unitStray();
            return;
        }
        if (due == 0) {
            // A byte that no command asked for: the replies can no longer be trusted to
            // carry data, but they still pace the commands, so the operation fails at the
            // next point where the chip is idle, as a stop would end it. Cutting it here
            // could leave a write armed, an erase keyed or a data EEPROM write running.
            m_stopWith = Outcome::StrayBytes;
            continue;
        }
        --due;
        if (failsOnStatus(byte))
            return;
        scriptReply(byte);
    }
    if (!runningScript())
        return;
    // A runaway script: the unit answers, so it is powered down as after a stop.
    if (m_commands > commandLimit()) {
        stopWithTheUnit({m_kind, Outcome::UnitSilent});
        return;
    }
    // A read's second reply may still be due although no new command went out.
    if (m_engine.outstandingReplies() > 0)
        m_host.startReplyTimer(replyTimeoutMs());
}

// One reply runs one step. A stop waits for the end of a loop's pass, where every write of
// the pass is complete and the chip is idle: a power-down there cuts no instruction, write
// or erase in two.
void OperationControl::scriptReply(std::uint8_t byte) {
    if (m_stopWith && m_engine.outstandingReplies() == 1 && m_engine.atLoopEnd()) {
        m_engine.consumeReply(byte);
        stopWithTheUnit({m_kind, *m_stopWith});
        return;
    }
    m_engine.receiveByte(byte);
}

void OperationControl::commandSent() {
    if (m_stage == Stage::Idle || m_stage == Stage::Aborting)
        return;
    ++m_commands;
    // In fast mode each packet has its reply timer.
    if (!m_fast)
        m_host.startReplyTimer(replyTimeoutMs());
}

// Replies that come after a stray byte may have failed a check that the chip would pass,
// and the window shows a check failure as a box that cannot be taken back: the first one
// waits for the end, and shows only if the end is not for stray bytes.
void OperationControl::checkFailed(const CheckFailure& failure) {
    if (!m_heldFailure)
        m_heldFailure = failure;
}

// The script's wait: in fast mode a WAIT in the packet, for the unit's pins; the program
// does not wait.
void OperationControl::waitMilliseconds(int milliseconds) {
    if (m_fast) {
        m_batch.addWait(milliseconds);
        return;
    }
    m_host.stopReplyTimer();
    m_host.waitMilliseconds(milliseconds);
}

void OperationControl::showProgress(Memory memory, std::int32_t done, std::int32_t total) {
    if (m_fast) {
        m_progress = Progress{memory, done, total};
        return;
    }
    m_host.showProgress(memory, done, total);
}

void OperationControl::showConfigByte(std::int32_t index) {
    flushProgress();
    m_host.showConfigByte(index);
}

// In fast mode events run once a packet is out, not at every command.
void OperationControl::letPendingEventsRun() {
    if (!m_fast)
        m_host.letPendingEventsRun();
}

void OperationControl::readBackBegins() {
    flushProgress();
    m_host.readBackBegins();
}

void OperationControl::readBackEnds() {
    flushProgress();
    m_host.readBackEnds();
}

// The progress of what has gone out so far.
void OperationControl::flushProgress() {
    if (const std::optional<Progress> progress = std::exchange(m_progress, std::nullopt))
        m_host.showProgress(progress->memory, progress->done, progress->total);
}

// A script has run to its end (in fast mode, once every packet is answered), and the unit
// has answered its end command.
void OperationControl::completeOperation(OperationKind) {
    if (m_fast) {
        m_completionDue = true;
        return;
    }
    scriptEnded();
}

// The unit is powered down, so a stop that waits lands here when another script would
// follow.
// A script that ends starts the next through pump(), which returns at once when
// re-entered (m_pumping): the call chain is no recursion at run time.
// NOLINTNEXTLINE(misc-no-recursion)
void OperationControl::scriptEnded() {
    m_unitIdle = true;
    m_fastLeftAt = 0;
    const std::optional<Stage> next = scriptAfter(m_stage);
    if (m_stopWith == Outcome::StrayBytes ||
        (m_stopWith == Outcome::Stopped && next && m_kind != OperationKind::Identify))
        endOperation({m_kind, *m_stopWith});
    else if (m_stage == Stage::PowerDown && fastWanted())
        startHandshake();
    else if (m_stage == Stage::Identify)
        identified();
    else if (next)
        startScript(*next);
    else
        completionRoutine();
}

// The identify sequence has run and the unit has removed the voltages again.
// A script that ends starts the next through pump(), which returns at once when
// re-entered (m_pumping): the call chain is no recursion at run time.
// NOLINTNEXTLINE(misc-no-recursion)
void OperationControl::identified() {
    const auto read = static_cast<std::uint16_t>(m_engine.state().DeviceIdRead & 0xFFFF);
    if (m_kind == OperationKind::Identify) {
        endOperation({m_kind, Outcome::Done, {}, read});
        return;
    }
    if (ChipIdentity::noChip(read) || !m_model.Safety.deviceId->matches(read)) {
        OperationEnd end{m_kind, Outcome::WrongDevice, {}, read};
        end.chip = identifyChip(m_models ? *m_models : ModelIdentities{}, read, m_model);
        endOperation(end);
        return;
    }
    startScript(Stage::Main);
}

void OperationControl::completionRoutine() {
    switch (m_kind) {
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
    case OperationKind::DetectUnit:
    case OperationKind::UnitReport:
    case OperationKind::Calibrate:
        break;
    }
}

void OperationControl::finish(OperationKind kind) {
    // Erase and read report their end whatever a check inside found; blank check, verify
    // and program (which verifies what it wrote) report the checks.
    const bool checked = kind == OperationKind::Blank || kind == OperationKind::Verify ||
                         kind == OperationKind::Program;
    const bool failed = checked && m_engine.state().CheckFailed;
    endOperation({kind, failed ? Outcome::CheckFailed : Outcome::Done});
}

// The scripts have ended with the unit powered down. The end is reported once the grace
// period has passed without a stray byte.
void OperationControl::endOperation(const OperationEnd& end) {
    m_host.stopReplyTimer();
    if (m_fast) {
        leaveFastMode(end);
        return;
    }
    if (m_graceMs <= 0) {
        report(end);
        return;
    }
    m_end = end;
    m_stage = Stage::EndPending;
    m_port.setReceiveThreshold(1);
    m_host.startReplyTimer(m_graceMs);
}

// Ends an operation whose unit still answers: the script stops, and the unit removes the
// voltages before the end is reported. A core instruction whose 4-bit code went out
// without its operand is completed first with a NOP operand: pulling MCLR low discards
// a cut frame, but the 4th clock of a core command may have started a bulk erase or a
// data EEPROM write, which needs PGD held low and its time before the power goes.
void OperationControl::stopWithTheUnit(const OperationEnd& end) {
    m_end = end;
    m_stopWith.reset();
    m_engine.halt();
    m_host.stopReplyTimer();
    if (!m_port.isOpen() || m_engine.writingCommand()) {
        if (m_fast)
            dropFastMode();
        m_unitIdle = false;
        report(end);
        return;
    }
    if (m_fast) {
        // What the engine has built goes out up to its last whole frame; then, once every
        // packet is answered, the end command and LEAVE.
        m_batch.cut();
        m_batch.discardOpen();
        m_stage = Stage::Stopping;
        m_fastEndSent = false;
        fastStopping();
        // The packets already in flight keep their reply time: a reply that never comes
        // whole ends the stop by recovery instead of leaving it, and the chip, waiting.
        if (m_fast && m_stage == Stage::Stopping && m_batch.inFlight() > 0)
            m_host.startReplyTimer(m_batch.oldestAllowanceMs());
        return;
    }
    sendAwaited(m_engine.codeWaiting() == kCoreInstruction ? Stage::CompletingFrame
                                                           : Stage::Stopping);
}

// The NOP operand of a cut core instruction (CompletingFrame) or the end command
// (Stopping), whose reply the stage then awaits. No reply may run while the command goes
// out: it would be taken before the command counts it.
void OperationControl::sendAwaited(Stage stage) {
    m_stage = stage;
    m_port.setReceiveThreshold(0);
    if (stage == Stage::CompletingFrame)
        m_engine.sendNopOperand();
    else
        m_engine.sendEnd();
    m_port.setReceiveThreshold(1);
}

void OperationControl::stoppingReplies(const std::vector<std::uint8_t>& bytes) {
    for (const std::uint8_t byte : bytes) {
        if (m_stage != Stage::CompletingFrame && m_stage != Stage::Stopping)
            return;
        // A reference unit's refusal or receive error, in the reply to the NOP operand or
        // to the end command, names why the operation fails.
        const bool status = m_engine.outstandingReplies() == 1;
        m_engine.consumeReply(byte);
        if (status && reference() && (byte & kStatusFailures) != 0) {
            if (m_end.outcome != Outcome::UnitRefused)
                m_end = OperationEnd{m_kind, Outcome::UnitRefused};
            m_end.unitStatus = static_cast<std::uint8_t>(m_end.unitStatus | byte);
        }
        if (m_engine.outstandingReplies() > 0)
            continue;
        m_host.stopReplyTimer();
        if (m_stage == Stage::CompletingFrame) {
            m_host.waitMilliseconds(kCutFrameHoldMs);
            sendAwaited(Stage::Stopping);
            continue;
        }
        m_unitIdle = true;
        report(m_end);
    }
}

// Ends an operation whose unit does not answer, or whose port failed: the end command
// still goes out (after the NOP operand of a cut core instruction, as when the unit
// answers), but nothing waits for a reply; the unit's state is unknown after.
void OperationControl::endWithoutTheUnit(const OperationEnd& end) {
    const bool endCommandDue = withTheUnit() || m_stage == Stage::CompletingFrame;
    // In fast mode the unit completes a cut frame itself; nothing was sent cut.
    const bool frameCut = !m_fast && runningScript() && m_engine.codeWaiting() == kCoreInstruction;
    if (m_fast)
        dropFastMode();
    const bool unitPoweredDown = m_stage == Stage::EndPending;
    m_engine.halt();
    m_host.stopReplyTimer();
    // The operation still runs while its last commands go out, but a port that fails
    // again as they are written, or a reply, ends nothing twice.
    m_stage = Stage::Aborting;
    m_port.setReceiveThreshold(0);
    if (endCommandDue && m_port.isOpen() && !m_engine.writingCommand()) {
        if (frameCut) {
            m_engine.sendNopOperand();
            m_host.waitMilliseconds(kCutFrameHoldMs);
        }
        m_engine.sendEnd();
    }
    m_unitIdle = unitPoweredDown;
    report(end);
}

void OperationControl::report(const OperationEnd& end) {
    m_host.stopReplyTimer();
    // The user may take any time to read the check failure; the operation still reads as
    // running meanwhile, but nothing that comes can end it a second time.
    m_stage = Stage::Reporting;
    if (m_heldFailure && end.outcome != Outcome::StrayBytes && end.outcome != Outcome::UnitRefused)
        m_host.checkFailed(*m_heldFailure);
    m_heldFailure.reset();
    m_stage = Stage::Idle;
    m_stopWith.reset();
    // A read whose replies fell out of line holds bytes that are not the chip's: the
    // buffer goes back to blank rather than show them as read.
    if (end.kind == OperationKind::Read && end.outcome == Outcome::StrayBytes)
        ResetBuffer(m_buffer, m_model.FlashSize, m_model.EepromSize, m_model.ConfigErased);
    // Bytes that come while no operation runs are read and dropped at once.
    m_port.setReceiveThreshold(1);
    m_host.operationEnded(end);
}

void OperationControl::scriptError(const std::string& message) {
    stopWithTheUnit({m_kind, Outcome::ScriptFailed, message});
}

void OperationControl::replyTimedOut() {
    switch (m_stage) {
    case Stage::Idle:
    case Stage::Starting:
    case Stage::Aborting:
    case Stage::Reporting:
        return;
    case Stage::EndPending:
        report(m_end);
        return;
    case Stage::CompletingFrame:
    case Stage::Stopping:
        // The unit did not confirm the end; the operation ends all the same.
        if (m_fast)
            recoverLink(Outcome::UnitSilent);
        else
            endWithoutTheUnit(m_end);
        return;
    case Stage::PowerDown:
    case Stage::Identify:
    case Stage::Main:
    case Stage::ReadBack:
    case Stage::Unit:
        if (m_fast)
            recoverLink(Outcome::UnitSilent);
        else
            unitFellSilent();
        return;
    case Stage::Handshake:
        fastFallback();
        return;
    case Stage::Leaving:
        recoverLink(Outcome::UnitSilent);
        return;
    case Stage::Recovering:
        recoveryTimedOut();
        return;
    }
}

void OperationControl::portFailed(const std::string& systemError) {
    if (m_stage == Stage::Idle || m_stage == Stage::Aborting || m_stage == Stage::Reporting)
        return;
    endWithoutTheUnit({m_kind, Outcome::PortFailed, systemError});
}

void OperationControl::requestStop() {
    if ((m_stage == Stage::Starting || m_stage == Stage::Handshake || withTheUnit()) && !m_stopWith)
        m_stopWith = Outcome::Stopped;
}

// With a reference unit, a status (the last reply byte that a command asked for) that
// reports a refusal or a receive error fails the operation; true when it did. The reply to
// PowerDown's end command is only kept: it tells of the program that went before.
bool OperationControl::failsOnStatus(std::uint8_t byte) {
    if (!reference() || m_engine.outstandingReplies() != 1)
        return false;
    if (m_stage == Stage::PowerDown) {
        m_powerDownStatus = byte;
        return false;
    }
    if ((byte & kStatusFailures) == 0)
        return false;
    m_engine.consumeReply(byte);
    refusedByTheUnit(byte);
    return true;
}

// The reference unit refused a command or lost a byte, and answers nothing more but an end
// command after a quiet line: the script stops at once, and the end command goes out
// alone (the unit completes a core instruction that waits for its operand itself). Its
// reply, awaited in Stopping, adds its status bits to the reason.
void OperationControl::refusedByTheUnit(std::uint8_t status) {
    OperationEnd end{m_kind, Outcome::UnitRefused};
    end.unitStatus = status;
    m_end = end;
    m_stopWith.reset();
    m_engine.halt();
    m_host.stopReplyTimer();
    if (!m_port.isOpen() || m_engine.writingCommand()) {
        m_unitIdle = false;
        report(m_end);
        return;
    }
    m_host.waitMilliseconds(kSilentUnitQuietMs);
    m_engine.resetReplies();
    sendAwaited(Stage::Stopping);
}

// The reply time-out in a script or in Unit. A reference unit falls silent after a
// refusal or a receive error: the end command goes out alone, after the time-out's quiet,
// and Stopping awaits its reply, whose status bits name the reason. Before the probe has
// found a reference unit, silence is its answer: an original unit.
void OperationControl::unitFellSilent() {
    if (m_kind == OperationKind::DetectUnit && !m_probeFound) {
        m_engine.setUnitType(CommandSet::Original);
        endWithoutTheUnit(unitOperationEnd());
        return;
    }
    if (!reference() || !m_port.isOpen() || m_engine.writingCommand()) {
        endWithoutTheUnit({m_kind, Outcome::UnitSilent});
        return;
    }
    m_end = OperationEnd{m_kind, Outcome::UnitSilent};
    m_stopWith.reset();
    m_engine.halt();
    m_host.stopReplyTimer();
    // The reply awaited is given up: the next one is the end command's.
    m_engine.resetReplies();
    sendAwaited(Stage::Stopping);
}

// The commands of the unit's own operation; the probe's times are two triples of distinct
// values, the second with another signature than the first, so that a unit that answers
// one value to everything cannot pass. Then the model's own time, as a script sets it.
void OperationControl::startUnitCommands() {
    m_unitCommands.clear();
    m_unitAnswered = 0;
    m_unitReplies.clear();
    m_probeReplies.clear();
    m_probeDisturbed = false;
    m_probeFound = false;
    m_report.reset();
    switch (m_kind) {
    case OperationKind::DetectUnit: {
        std::vector<std::int32_t> times(kProbeMaxMs - kProbeMinMs + 1);
        for (std::size_t i = 0; i < times.size(); ++i)
            times[i] = kProbeMinMs + static_cast<std::int32_t>(i);
        const auto signature = [&](std::size_t first) {
            return unitProbeSignature(static_cast<std::uint8_t>(times[first]),
                                      static_cast<std::uint8_t>(times[first + 1]),
                                      static_cast<std::uint8_t>(times[first + 2]));
        };
        do {
            std::shuffle(times.begin(), times.end(), m_random);
        } while (signature(0) == signature(3));
        for (std::size_t i = 0; i < 6; ++i)
            m_unitCommands.push_back({kCmdProgTime, times[i]});
        m_unitCommands.push_back(
            {kCmdProgTime, std::clamp<std::int32_t>(m_model.ProgTime, 1, kLongestUnitProgTimeMs)});
        break;
    }
    case OperationKind::UnitReport:
        m_unitCommands.push_back({kCmdUnitReport, 0});
        break;
    default:
        m_unitCommands.push_back({kCmdCalibrate, m_calibrationMillivolts});
        break;
    }
    sendUnitCommand();
}

// One command; no reply may run while it goes out.
void OperationControl::sendUnitCommand() {
    const UnitCommand& next = m_unitCommands[m_unitAnswered];
    m_port.setReceiveThreshold(0);
    switch (next.command) {
    case kCmdProgTime:
        m_engine.sendProgTime(next.argument, unitWord(m_kind));
        break;
    case kCmdUnitReport:
        m_engine.sendUnitReport(unitWord(m_kind));
        break;
    default:
        m_engine.sendCalibrate(next.argument, unitWord(m_kind));
        break;
    }
    m_port.setReceiveThreshold(1);
}

void OperationControl::unitReplies(const std::vector<std::uint8_t>& bytes) {
    m_host.stopReplyTimer();
    for (const std::uint8_t byte : bytes) {
        if (m_stage != Stage::Unit) {
            // The operation ended with an earlier byte of the batch.
            if (m_stage == Stage::EndPending)
                strayAfterTheEnd();
            return;
        }
        if (m_engine.outstandingReplies() == 0) {
            unitStray();
            if (m_stage != Stage::Unit)
                return;
            continue;
        }
        m_engine.consumeReply(byte);
        m_unitReplies.push_back(byte);
        if (m_engine.outstandingReplies() == 0)
            unitCommandAnswered();
    }
    if (m_stage == Stage::Unit && m_engine.outstandingReplies() > 0)
        m_host.startReplyTimer(replyTimeoutMs());
}

// A byte that no command asked for, in Unit: the probe's answer becomes "original unit"
// (a reference unit never sends one); any other operation fails for it at once, since
// the unit is powered down at every reply.
void OperationControl::unitStray() {
    if (m_kind == OperationKind::DetectUnit) {
        m_probeDisturbed = true;
        m_engine.setUnitType(CommandSet::Original);
        return;
    }
    stopWithTheUnit({m_kind, Outcome::StrayBytes});
}

// Every reply of a command has come; the unit is still powered down.
void OperationControl::unitCommandAnswered() {
    const std::vector<std::uint8_t> replies = std::exchange(m_unitReplies, {});
    const UnitCommand answered = m_unitCommands[m_unitAnswered++];
    m_unitIdle = true;
    switch (answered.command) {
    case kCmdProgTime:
        m_probeReplies.push_back(replies.back());
        if (m_unitAnswered == m_unitCommands.size())
            probeAnswered();
        break;
    case kCmdUnitReport: {
        UnitReport report;
        report.version = replies[kReportVersion];
        report.calibrationMillivolts = static_cast<std::uint16_t>(
            replies[kReportCalibrationLow] | replies[kReportCalibrationHigh] << 8);
        report.vppCentivolts =
            static_cast<std::uint16_t>(replies[kReportVppLow] | replies[kReportVppHigh] << 8);
        report.vddCentivolts =
            static_cast<std::uint16_t>(replies[kReportVddLow] | replies[kReportVddHigh] << 8);
        report.jumpers = replies[kReportJumpers];
        report.status = replies[kReportStatus];
        report.powerDownStatus = m_powerDownStatus;
        m_report = report;
        break;
    }
    default:
        break;
    }
    // The report's status and the calibration's reply act as every status does; the
    // probe's replies are no status until it has found a reference unit.
    if (answered.command != kCmdProgTime && (replies.back() & kStatusFailures) != 0) {
        m_unitIdle = false;
        refusedByTheUnit(replies.back());
        return;
    }
    if (m_stopWith) {
        endOperation({m_kind, *m_stopWith});
        return;
    }
    if (m_unitAnswered < m_unitCommands.size()) {
        sendUnitCommand();
        return;
    }
    endOperation(unitOperationEnd());
}

// The probe's seven replies are in: a reference unit answered the third of each triple
// with its signature. It then takes the reference unit's commands, and reports itself.
void OperationControl::probeAnswered() {
    const auto signature = [&](std::size_t first) {
        return unitProbeSignature(static_cast<std::uint8_t>(m_unitCommands[first].argument),
                                  static_cast<std::uint8_t>(m_unitCommands[first + 1].argument),
                                  static_cast<std::uint8_t>(m_unitCommands[first + 2].argument));
    };
    m_probeFound = !m_probeDisturbed && m_probeReplies.size() == 7 &&
                   m_probeReplies[2] == signature(0) && m_probeReplies[5] == signature(3);
    m_engine.setUnitType(m_probeFound ? CommandSet::Reference : CommandSet::Original);
    if (m_probeFound)
        m_unitCommands.push_back({kCmdUnitReport, 0});
}

OperationEnd OperationControl::unitOperationEnd() const {
    OperationEnd end{m_kind, Outcome::Done};
    if (m_kind == OperationKind::DetectUnit) {
        const bool found = m_probeFound && !m_probeDisturbed;
        end.unitType = found ? CommandSet::Reference : CommandSet::Original;
        if (found)
            end.report = m_report;
    } else if (m_kind == OperationKind::UnitReport) {
        end.report = m_report;
    }
    return end;
}

// A byte within the grace period after the last reply fails the operation; a reference
// unit sends none, so the probe's answer becomes "original unit".
void OperationControl::strayAfterTheEnd() {
    if (m_kind == OperationKind::DetectUnit && m_end.outcome == Outcome::Done) {
        m_probeDisturbed = true;
        m_engine.setUnitType(CommandSet::Original);
        report(unitOperationEnd());
        return;
    }
    report({m_kind, Outcome::StrayBytes});
}

void OperationControl::portOpened() {
    m_unitIdle = false;
    m_fastRefused = false;
    m_fastLeftAt = 0;
    m_engine.resetReplies();
    m_portOpenedAt = std::chrono::steady_clock::now();
}

// Fast mode for the chip operations of a reference unit, when a rate is set and the unit
// on this port has not refused it since the port opened.
bool OperationControl::fastWanted() const {
    return reference() && m_fastBaud > 0 && !m_fastRefused && !isUnitOperation(m_kind) &&
           fastRateIndex(m_fastBaud) < kFastRateCount;
}

// The unit is powered down: ENTER with the rate, answered at 56000 baud.
void OperationControl::startHandshake() {
    m_stage = Stage::Handshake;
    m_unitIdle = false;
    m_pingSent = false;
    m_unitReplies.clear();
    m_port.setReceiveThreshold(0);
    m_engine.sendEnterFast(fastRateIndex(m_fastBaud), "fast mode");
    m_port.setReceiveThreshold(1);
    m_host.startReplyTimer(kHandshakeReplyMs);
}

void OperationControl::handshakeReplies(const std::vector<std::uint8_t>& bytes) {
    if (m_pingSent) {
        fastBytes(bytes);
        return;
    }
    for (const std::uint8_t byte : bytes) {
        if (m_stage != Stage::Handshake || m_pingSent)
            return;
        if (m_engine.outstandingReplies() == 0) {
            // More than ENTER's reply: no unit that speaks fast mode.
            fastFallback();
            return;
        }
        m_engine.consumeReply(byte);
        m_unitReplies.push_back(byte);
        if (m_engine.outstandingReplies() == 0)
            enterAnswered();
    }
}

// ENTER's reply: the version of fast mode and the rates the unit can do. A unit that
// takes the rate has switched once its reply was out; one that cannot do it stays in
// plain mode, powered down.
void OperationControl::enterAnswered() {
    m_host.stopReplyTimer();
    const std::uint8_t rate = fastRateIndex(m_fastBaud);
    const bool versionKnown = m_unitReplies.size() == 2 && m_unitReplies[0] == kFastModeVersion;
    const bool rateTaken = m_unitReplies.size() == 2 && (m_unitReplies[1] >> rate & 1) != 0;
    if (versionKnown && !rateTaken) {
        m_fastRefused = true;
        m_unitIdle = true;
        linkMode(0);
        startScript(firstScriptStage());
        return;
    }
    if (!versionKnown) {
        fastFallback();
        return;
    }
    m_port.setReceiveThreshold(0);
    m_port.setBaudRate(m_fastBaud);
    m_host.waitMilliseconds(kRateSwitchMs);
    // Whatever came while the rates changed is no reply.
    m_port.readAll();
    m_fast = true;
    m_batch.start();
    m_engine.setBatch(&m_batch);
    m_pingSent = true;
    sendControlPacket({});
    m_host.startReplyTimer(kHandshakeReplyMs);
    m_port.setReceiveThreshold(1);
}

// The empty packet is answered at the new rate.
void OperationControl::fastEstablished() {
    m_unitIdle = true;
    linkMode(m_fastBaud);
    if (m_stopWith == Outcome::Stopped && m_kind != OperationKind::Identify) {
        endOperation({m_kind, Outcome::Stopped});
        return;
    }
    startScript(firstScriptStage());
}

// ENTER or the first packet found no answer that fast mode can go on with: the unit,
// back at 56000 baud after its quiet time if it switched at all, is powered down again in
// plain mode, and the operation runs reply-paced; so does every operation on this port
// until it is opened again.
void OperationControl::fastFallback() {
    m_host.stopReplyTimer();
    m_port.setReceiveThreshold(0);
    if (m_fast) {
        // A unit that switched and then stopped answering may still be in fast mode.
        m_fastLeftAt = m_fastBaud;
        dropFastMode();
    } else {
        m_port.setBaudRate(kPlainBaud);
    }
    m_host.waitMilliseconds(kFastFallbackMs);
    m_port.readAll();
    m_fastRefused = true;
    m_engine.resetReplies();
    linkMode(0);
    startScript(Stage::PowerDown);
}

void OperationControl::linkMode(std::int32_t baud) {
    m_host.linkModeChosen(baud);
    if (m_trace) {
        TracedPacket mode;
        mode.time = std::chrono::steady_clock::now();
        mode.kind = TracedPacket::Kind::Mode;
        mode.baud = baud;
        m_trace->tracePacket(mode);
    }
}

// LEAVE is answered: the unit goes back to 56000 baud once the reply's last byte has left
// its line. A byte at 56000 that came before would reach it at the fast rate as a framing
// error, which it takes for a program talking at another rate.
void OperationControl::leftFastMode() {
    m_port.setReceiveThreshold(0);
    m_host.waitMilliseconds(kLeaveSettleMs);
    dropFastMode();
    m_port.setReceiveThreshold(1);
}

// Back to plain mode at 56000 baud, with nothing of fast mode left to send or await.
void OperationControl::dropFastMode() {
    m_fast = false;
    m_completionDue = false;
    m_batch.discardUnsent();
    m_engine.setBatch(nullptr);
    m_port.setBaudRate(kPlainBaud);
    flushProgress();
}

// Runs the engine ahead of the unit: every reply it awaits comes at once, as 00h, while
// the packets fill and at most two are in flight. It stops where a packet must be
// answered first: two in flight, or a point where what follows depends on the unit's
// real answers (the poll of "waitwr", a write after checks still undecided, a script's
// end, a check that failed).
// A script that ends starts the next through pump(), which returns at once when
// re-entered (m_pumping): the call chain is no recursion at run time.
// NOLINTNEXTLINE(misc-no-recursion)
void OperationControl::pump() {
    if (m_pumping)
        return;
    m_pumping = true;
    m_port.setReceiveThreshold(0);
    while (m_fast && runningScript()) {
        if (m_batch.canSend()) {
            sendPacket();
            continue;
        }
        if (m_batch.hasReady())
            break;
        if (m_engine.lateCheckFailed()) {
            // Nothing more of what the engine ran ahead goes out; once the packets in
            // flight are answered, the script's last instruction runs.
            m_batch.discardUnsent();
            if (m_batch.inFlight() > 0)
                break;
            m_completionDue = false;
            m_engine.jumpToLastInstruction();
            continue;
        }
        if (m_completionDue || m_engine.syncPending() || m_engine.waitingForChecks()) {
            if (m_batch.building()) {
                m_batch.cut();
                if (m_batch.hasReady())
                    continue;
            }
            if (m_batch.inFlight() > 0)
                break;
            if (m_completionDue) {
                m_completionDue = false;
                scriptEnded();
                continue;
            }
            if (m_engine.waitingForChecks()) {
                m_engine.resume();
                continue;
            }
        }
        if (m_engine.outstandingReplies() == 0 || m_engine.halted())
            break;
        feedSynthetic();
        // A runaway script: the unit answers, so it is powered down as after a stop.
        if (runningScript() && m_commands > commandLimit())
            stopWithTheUnit({m_kind, Outcome::UnitSilent});
    }
    m_pumping = false;
    if (m_stage != Stage::Idle)
        m_port.setReceiveThreshold(1);
}

// The next reply byte the engine awaits: 00h, or the poll's real data byte.
void OperationControl::feedSynthetic() {
    std::uint8_t byte = 0x00;
    if (m_engine.outstandingReplies() == unitReplyCount(kCmdReadByte)) {
        if (const std::optional<std::uint8_t> value = m_engine.takeSyncValue())
            byte = *value;
    }
    scriptReply(byte);
}

// One packet in one write, then one pass through the window's events.
void OperationControl::sendPacket() {
    flushProgress();
    const BatchLink::Packet& packet = m_batch.sendReady();
    tracePacket(TracedPacket::Kind::Packet, &packet);
    if (m_batch.inFlight() == 1)
        m_host.startReplyTimer(m_batch.oldestAllowanceMs());
    m_host.letPendingEventsRun();
}

void OperationControl::sendControlPacket(std::initializer_list<std::uint8_t> payload) {
    const BatchLink::Packet& packet = m_batch.sendNow(payload);
    tracePacket(TracedPacket::Kind::Packet, &packet);
    if (m_batch.inFlight() == 1)
        m_host.startReplyTimer(m_batch.oldestAllowanceMs());
}

void OperationControl::tracePacket(TracedPacket::Kind kind, const BatchLink::Packet* packet) {
    if (!m_trace)
        return;
    TracedPacket traced;
    traced.time = std::chrono::steady_clock::now();
    traced.kind = kind;
    if (kind == TracedPacket::Kind::Packet && packet) {
        traced.seq = packet->seq;
        traced.bytes = static_cast<std::uint32_t>(packet->payload.size());
        traced.commands = packet->commands;
        traced.count = packet->reads;
    } else if (kind == TracedPacket::Kind::Reply) {
        traced.seq = m_batch.replySeq();
        traced.count = static_cast<std::uint32_t>(m_batch.replyData().size());
        traced.status = m_batch.replyStatus();
    }
    m_trace->tracePacket(traced);
}

// Bytes from the unit in fast mode: the replies, one per packet, in the packets' order.
void OperationControl::fastBytes(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (m_stage == Stage::Recovering) {
            recoveryReplies(bytes, i);
            return;
        }
        if (!m_fast) {
            // Fast mode ended with LEAVE's reply: anything after it is stray.
            if (m_stage == Stage::EndPending)
                strayAfterTheEnd();
            return;
        }
        switch (m_batch.take(bytes[i])) {
        case BatchLink::Reply::Partial:
            break;
        case BatchLink::Reply::Bad:
            tracePacket(TracedPacket::Kind::BadReply);
            // The first packet's reply garbled: the port or its adapter cannot take the
            // rate.
            if (m_stage == Stage::Handshake) {
                fastFallback();
                return;
            }
            recoverLink(Outcome::LinkFailed);
            break;
        case BatchLink::Reply::Complete:
            packetAnswered();
            break;
        }
    }
}

// A good reply to the oldest packet in flight. A rejected packet ran nothing, and a
// refusal ran nothing after the refused command: the unit then takes only ABORT.
void OperationControl::packetAnswered() {
    tracePacket(TracedPacket::Kind::Reply);
    const std::uint8_t status = m_batch.replyStatus();
    m_batch.answered();
    m_host.stopReplyTimer();
    if (m_stage == Stage::Handshake && status != 0) {
        fastFallback();
        return;
    }
    if ((status & kStatusRejected) != 0) {
        recoverLink(Outcome::LinkFailed);
        return;
    }
    if ((status & kStatusFailures) != 0) {
        recoverLink(Outcome::UnitRefused, status);
        return;
    }
    if (m_batch.inFlight() > 0)
        m_host.startReplyTimer(m_batch.oldestAllowanceMs());
    switch (m_stage) {
    case Stage::Handshake:
        fastEstablished();
        return;
    case Stage::Leaving: {
        leftFastMode();
        m_unitIdle = true;
        const OperationEnd end = m_end;
        endOperation(end);
        return;
    }
    case Stage::Stopping:
    case Stage::CompletingFrame:
        m_engine.applyReads(m_batch.replyData());
        if (m_fastEndSent && m_batch.inFlight() == 0) {
            leftFastMode();
            m_unitIdle = true;
            report(m_end);
            return;
        }
        fastStopping();
        return;
    default:
        m_engine.applyReads(m_batch.replyData());
        pump();
        return;
    }
}

// The scripts have ended: LEAVE, whose reply ends fast mode; then the end as in plain mode.
void OperationControl::leaveFastMode(const OperationEnd& end) {
    m_end = end;
    m_stage = Stage::Leaving;
    m_batch.discardUnsent();
    m_port.setReceiveThreshold(0);
    sendControlPacket({kOpLeave});
    m_port.setReceiveThreshold(1);
}

// A stop in fast mode: what is ready goes out, and once every packet is answered the end
// command and LEAVE.
void OperationControl::fastStopping() {
    m_port.setReceiveThreshold(0);
    while (m_fast && m_stage == Stage::Stopping && m_batch.canSend())
        sendPacket();
    if (m_fast && m_stage == Stage::Stopping && !m_batch.hasReady() && m_batch.inFlight() == 0 &&
        !m_fastEndSent) {
        m_fastEndSent = true;
        sendControlPacket({kCmdEnd, kOpLeave});
    }
    if (m_stage != Stage::Idle)
        m_port.setReceiveThreshold(1);
}

// A reply lost, garbled, late, or a packet rejected or refused: ABORT after a quiet line,
// its reply awaited behind those of the packets still in flight (their data are not taken
// any more); then plain mode at 56000 baud and the end command.
void OperationControl::recoverLink(Outcome outcome, std::uint8_t status) {
    OperationEnd end{m_kind, outcome};
    end.unitStatus = status;
    m_end = end;
    m_recoveryAfterSilence = outcome == Outcome::UnitSilent;
    if (m_recoveryAfterSilence)
        m_end.outcome = Outcome::LinkFailed;
    m_recoveryHeard = false;
    m_stopWith.reset();
    m_engine.halt();
    m_host.stopReplyTimer();
    m_batch.discardUnsent();
    m_stage = Stage::Recovering;
    tracePacket(TracedPacket::Kind::Abort);
    if (!m_port.isOpen()) {
        dropFastMode();
        m_unitIdle = false;
        report(m_end);
        return;
    }
    m_port.setReceiveThreshold(0);
    m_host.waitMilliseconds(kAbortQuietMs);
    m_awaitingAbort = true;
    const std::int32_t runMs = m_batch.runMsInFlight();
    m_batch.sendAbort();
    m_port.setReceiveThreshold(1);
    m_host.startReplyTimer(kAbortReplyMs + runMs);
}

void OperationControl::recoveryReplies(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    for (std::size_t i = from; i < bytes.size(); ++i) {
        if (m_stage != Stage::Recovering)
            return;
        if (m_awaitingAbort) {
            // The replies of the packets before ABORT come first; ABORT's has seq FFh.
            if (m_batch.take(bytes[i]) == BatchLink::Reply::Complete) {
                m_recoveryHeard = true;
                if (m_batch.replySeq() == kAbortSeq) {
                    abortAnswered(m_batch.replyStatus());
                    return;
                }
            }
            continue;
        }
        if (m_engine.outstandingReplies() == 0)
            continue;
        m_engine.consumeReply(bytes[i]);
        m_recoveryHeard = true;
        if ((bytes[i] & kStatusFailures) != 0)
            m_end.unitStatus = static_cast<std::uint8_t>(m_end.unitStatus | bytes[i]);
        m_host.stopReplyTimer();
        m_unitIdle = true;
        report(m_end);
        return;
    }
}

// ABORT answered (the unit has powered down and is in plain mode), or not: then the line
// is left quiet. Either way the end command at 56000 baud confirms the power-down.
void OperationControl::abortAnswered(std::optional<std::uint8_t> status) {
    m_host.stopReplyTimer();
    m_awaitingAbort = false;
    if (status && (*status & kStatusFailures) != 0)
        m_end.unitStatus = static_cast<std::uint8_t>(m_end.unitStatus | *status);
    m_port.setReceiveThreshold(0);
    dropFastMode();
    m_recoveryEnds = 0;
    sendRecoveryEnd();
}

void OperationControl::sendRecoveryEnd() {
    ++m_recoveryEnds;
    m_port.setReceiveThreshold(0);
    m_host.waitMilliseconds(kSilentUnitQuietMs);
    m_port.readAll();
    m_engine.resetReplies();
    m_engine.sendEnd();
    m_port.setReceiveThreshold(1);
    m_host.startReplyTimer(kRecoveryEndReplyMs);
}

void OperationControl::recoveryTimedOut() {
    if (m_awaitingAbort) {
        m_port.setReceiveThreshold(0);
        m_host.waitMilliseconds(kNoAbortReplyQuietMs);
        m_port.readAll();
        abortAnswered(std::nullopt);
        return;
    }
    if (m_recoveryEnds < kRecoveryEndTries) {
        sendRecoveryEnd();
        return;
    }
    // Nothing answers: a unit that answered nothing since the silence began has stopped
    // answering altogether.
    m_unitIdle = false;
    if (!m_recoveryHeard)
        m_fastLeftAt = m_fastBaud;
    if (m_recoveryAfterSilence && !m_recoveryHeard)
        m_end.outcome = Outcome::UnitSilent;
    report(m_end);
}

// A unit that heard nothing of the last recovery may still be in fast mode, waiting for
// packets: ABORT at its rate powers it down and takes it back to plain mode (a unit in
// plain mode sees a receive error, which the power-down's reply clears).
void OperationControl::abortLeftFastMode() {
    m_port.setReceiveThreshold(0);
    m_port.setBaudRate(m_fastLeftAt);
    m_host.waitMilliseconds(kAbortQuietMs);
    m_batch.sendAbort();
    m_host.waitMilliseconds(kAbortReplyMs);
    m_port.setBaudRate(kPlainBaud);
    m_host.waitMilliseconds(kNoAbortReplyQuietMs);
    m_port.readAll();
    m_fastLeftAt = 0;
}

} // namespace tessaline
