// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/script_engine.hpp"

#include "buffer/config_bytes.hpp"
#include "devices/script_check.hpp"
#include "engine/batch_link.hpp"
#include "engine/byte_port.hpp"
#include "engine/engine_host.hpp"

#include <algorithm>

namespace tessaline {

namespace {

// EECON1 bit 1 (WR) stays set while a write cycle runs.
constexpr std::int32_t kEecon1WriteBit = 0x02;

// The core instructions that "waitwr" has the chip execute, and its two command codes.
constexpr std::int32_t kCoreInstruction = 0x00;
constexpr std::int32_t kShiftOutTablat = 0x02;
constexpr std::int32_t kMovfEecon1W = 0x50A6;
constexpr std::int32_t kMovwfTablat = 0x6EF5;
constexpr std::int32_t kMovlw = 0x0E00;

bool isReadCompletionPhase(std::int32_t phase) {
    return phase == 2;
}

// bsf EECON1, WR: starts a data EEPROM (or FLASH) write.
constexpr std::int32_t kBsfEecon1Wr = 0x82A6;
// The 4-bit table-write commands: 1100 write, 1101 post-increment, 1110 post-decrement
// (program memory only through the buffer), 1111 write and start programming.
constexpr std::int32_t kFirstTableWrite = 0x0C;

// An instruction that can change what the chip holds: a table write (the bulk erase's key
// among them), a programming pulse, the start of a data EEPROM write; and the end of a
// read-back, after which a script writes again.
bool writesChip(const Instruction& instruction) {
    switch (instruction.op) {
    case Op::WriteFlash:
    case Op::WriteConfig:
    case Op::StartProg:
    case Op::EndVerify:
        return true;
    case Op::Raw:
        return instruction.code >= kFirstTableWrite ||
               (instruction.code == 0 && instruction.operand == kBsfEecon1Wr);
    default:
        return false;
    }
}

} // namespace

ScriptEngine::ScriptEngine(ProgramBuffer& buffer, const SelectedModelValues& model, BytePort& port,
                           EngineHost& host)
    : m_link(port, host), m_buffer(buffer), m_model(model), m_port(port), m_host(host) {}

void ScriptEngine::start(OperationKind kind, const DeviceScript& script) {
    m_state.RunningOperation.reset();
    m_kind = kind;
    m_state.RunningScript = script;
    m_state.LastInstruction = static_cast<std::int32_t>(script.size());
    m_state.FlashLastAddress = m_model.FlashSize - 1;
    m_state.EepromLastAddress = m_model.EepromSize - 1;
    m_state.CurrentAddress = 0;
    // Program All verifies what it wrote, so its end too depends on the checks.
    if (kind == OperationKind::Blank || kind == OperationKind::Verify ||
        kind == OperationKind::Program)
        m_state.CheckFailed = false;
    m_halted = false;
    m_link.open();
    clearDeferred();
    m_state.InstructionIndex = 1;
    RunScriptStep(true);
    // Set after the first step, which therefore can never complete the operation.
    if (!m_halted)
        m_state.RunningOperation = kind;
}

void ScriptEngine::receiveByte(std::uint8_t value) {
    m_link.received(value);
    if (!running() || m_halted)
        return;
    m_state.ReceivedByte = value;
    RunScriptStep(false);
}

void ScriptEngine::halt() {
    m_state.RunningOperation.reset();
    m_halted = true;
    m_link.setWord({});
    m_link.close();
}

void ScriptEngine::sendNopOperand() {
    m_link.open();
    m_link.SendDataWord(0x0000);
    m_link.close();
}

void ScriptEngine::sendEnd() {
    m_link.open();
    m_link.SendEnd();
    m_link.close();
}

void ScriptEngine::sendProgTime(std::int32_t milliseconds, std::string_view word) {
    m_link.open();
    m_link.setWord(word);
    m_link.SendProgTime(milliseconds);
}

void ScriptEngine::sendUnitReport(std::string_view word) {
    m_link.open();
    m_link.setWord(word);
    m_link.SendUnitReport();
}

void ScriptEngine::sendEnterFast(std::int32_t rate, std::string_view word) {
    m_link.open();
    m_link.setWord(word);
    m_link.SendEnterFast(rate);
}

void ScriptEngine::sendCalibrate(std::int32_t millivolts, std::string_view word) {
    m_link.open();
    m_link.setWord(word);
    m_link.SendCalibrate(millivolts);
}

std::uint8_t ScriptEngine::flashAt(std::int32_t address) const {
    return m_buffer.flashByteOrErased(address);
}

std::uint8_t ScriptEngine::eepromAt(std::int32_t address) const {
    if (address < 0 || address >= static_cast<std::int32_t>(m_buffer.Eeprom.size()))
        return 0xFF;
    return m_buffer.Eeprom[static_cast<std::size_t>(address)];
}

void ScriptEngine::RunScriptStep(bool firstStep) {
    // No reply byte may start a nested step while this one lets window events run (fast
    // mode's steps run from the operation control, which switches them off itself).
    const bool fast = m_link.batching();
    if (!fast)
        m_port.setReceiveThreshold(0);
    if (m_halted)
        return;
    if (m_state.InstructionIndex < 1 || m_state.InstructionIndex > m_state.LastInstruction) {
        // The script has ended. RunningOperation is emptied before the completion runs,
        // so an operation started from inside the completion keeps its own.
        const std::optional<OperationKind> operation = m_state.RunningOperation;
        m_state.RunningOperation.reset();
        if (operation)
            m_host.completeOperation(*operation);
        return;
    }
    if (firstStep)
        m_state.InstructionPhase = 0;
    const ScriptStep& step =
        m_state.RunningScript.steps[static_cast<std::size_t>(m_state.InstructionIndex - 1)];
    m_link.setWord(step.word);
    m_atLoopEnd = step.instruction.op == Op::Loop;
    // The operation's start checks every word; a script started without that check stops
    // here at a word that cannot run.
    if (auto problem = wordProblem(m_state.RunningScript, step)) {
        fail(*problem);
        return;
    }
    // Nothing may write the chip while a check of what was read before it is undecided: a
    // failed check sends no write after it.
    if (fast && m_checksDeferred > 0 && m_state.InstructionPhase == 0 &&
        writesChip(step.instruction)) {
        m_waitingForChecks = true;
        return;
    }
    execute(step.instruction);
    if (!m_halted && !fast)
        m_port.setReceiveThreshold(1);
}

void ScriptEngine::fail(const std::string& message) {
    m_halted = true;
    m_host.scriptError(message);
}

void ScriptEngine::execute(const Instruction& instruction) {
    switch (instruction.op) {
    case Op::Begin:
        advance();
        m_link.SendBegin(m_model.VoltageSequence);
        break;
    case Op::End:
        advance();
        m_link.SendEnd();
        break;
    case Op::StartProg:
        advance();
        m_link.SendStartProg();
        break;
    case Op::SetProgTime:
        advance();
        m_link.SendProgTime(m_model.ProgTime);
        break;
    case Op::CalcFlash:
        m_state.FlashLastAddress = highestNonBlank(m_buffer.Flash);
        advance();
        m_link.SendNop();
        break;
    case Op::CalcEeprom:
        m_state.EepromLastAddress = highestNonBlank(m_buffer.Eeprom);
        advance();
        m_link.SendNop();
        break;
    case Op::SetFlashLoop:
        loopHead(m_state.FlashLastAddress);
        break;
    case Op::SetEepromLoop:
        loopHead(m_state.EepromLastAddress);
        break;
    case Op::Loop:
        m_state.InstructionIndex = m_state.LoopStartIndex;
        m_link.SendNop();
        m_link.passEnded();
        break;
    case Op::MovlwUpper:
        movlwAddress(instruction, SplitAddress(m_state.CurrentAddress).upper);
        break;
    case Op::MovlwHigh:
        movlwAddress(instruction, SplitAddress(m_state.CurrentAddress).high);
        break;
    case Op::MovlwLow:
        movlwAddress(instruction, SplitAddress(m_state.CurrentAddress).low);
        break;
    case Op::MovlwEeprom:
        if (codeThenOperand(instruction, kCoreInstruction,
                            [&] { return kMovlw + eepromAt(m_state.CurrentAddress); }))
            ++m_state.CurrentAddress;
        break;
    case Op::WriteFlash:
        writeFlashWord(instruction);
        break;
    case Op::WriteConfig:
        writeConfigByte(instruction);
        break;
    case Op::WaitWr:
        waitForWrite();
        break;
    case Op::ReadFlash:
    case Op::ReadEeprom:
    case Op::ReadConfig:
    case Op::ReadTemp:
    case Op::ReadDeviceId:
        readByte(instruction);
        break;
    case Op::CheckBlankFlash:
    case Op::CheckBlankEeprom:
    case Op::CheckBlankConfig:
    case Op::CheckFlash:
    case Op::CheckEeprom:
    case Op::CheckConfig:
    case Op::ReadCheckFlash:
    case Op::ReadCheckBlankFlash:
    case Op::ReadCheckEeprom:
    case Op::ReadCheckBlankEeprom:
    case Op::ReadCheckConfig:
    case Op::ReadCheckBlankConfig:
        if (instruction.traits().readsFirst)
            readAndCheck(instruction);
        else
            check(instruction);
        break;
    case Op::Raw:
        codeThenOperand(instruction, instruction.code, [&] { return instruction.operand; });
        break;
    case Op::Wait:
        m_host.waitMilliseconds(std::max(instruction.waitMilliseconds, 0));
        advance();
        m_link.SendNop();
        break;
    case Op::IfVerify:
        if (m_verifyAfterProgram) {
            m_host.readBackBegins();
            advance();
        } else {
            jumpPast(Op::EndVerify);
        }
        m_link.SendNop();
        break;
    case Op::EndVerify:
        m_host.readBackEnds();
        advance();
        m_link.SendNop();
        break;
    case Op::Unrecognized:
        // Stopped by the word check before.
        break;
    }
}

void ScriptEngine::loopHead(std::int32_t lastAddress) {
    m_state.LoopStartIndex = m_state.InstructionIndex;
    m_state.LoopEndAddress = lastAddress;
    if (m_state.CurrentAddress <= m_state.LoopEndAddress) {
        advance();
    } else {
        m_state.CurrentAddress = 0;
        jumpPast(Op::Loop);
    }
    m_link.SendNop();
}

// Past the first word `closing` after the current one (a head's "loop" or "endverify");
// a head without one ends the script.
void ScriptEngine::jumpPast(Op closing) {
    std::int32_t exit = m_state.LastInstruction + 1;
    for (std::int32_t i = m_state.InstructionIndex + 1; i <= m_state.LastInstruction; ++i) {
        if (m_state.RunningScript.steps[static_cast<std::size_t>(i - 1)].instruction.op ==
            closing) {
            exit = i + 1;
            break;
        }
    }
    m_state.InstructionIndex = exit;
}

// A write-type instruction takes two steps: its 4-bit command code, then with the next
// reply its 16-bit operand, which completes it. True on the step that sends the operand.
template <typename Operand>
bool ScriptEngine::codeThenOperand(const Instruction& instruction, std::int32_t code,
                                   const Operand& operand) {
    if (m_state.InstructionPhase == 0) {
        showPlace(instruction);
        m_link.SendCommandCode(code);
        m_state.InstructionPhase = 1;
        return false;
    }
    if (m_state.InstructionPhase != 1)
        return false;
    m_link.SendDataWord(operand());
    m_state.InstructionPhase = 0;
    advance();
    return true;
}

void ScriptEngine::movlwAddress(const Instruction& instruction, std::int32_t field) {
    codeThenOperand(instruction, kCoreInstruction, [&] { return kMovlw + field; });
}

void ScriptEngine::writeFlashWord(const Instruction& instruction) {
    // Low byte at the even address, high byte at the next one; past the end of an
    // odd-sized FLASH the high byte is the erased value.
    if (codeThenOperand(instruction, instruction.code, [&] {
            return flashAt(m_state.CurrentAddress) + 256 * flashAt(m_state.CurrentAddress + 1);
        }))
        m_state.CurrentAddress += 2;
}

void ScriptEngine::writeConfigByte(const Instruction& instruction) {
    // The chip takes the low half at an even address and the high half at an odd one, so
    // the byte goes in both.
    codeThenOperand(instruction, instruction.code, [&] {
        return (m_buffer.Config[static_cast<std::size_t>(instruction.configIndex)] & 0xFF) * 257;
    });
}

void ScriptEngine::waitForWrite() {
    switch (m_state.InstructionPhase) {
    case 0:
    case 2:
        m_link.SendCommandCode(kCoreInstruction);
        break;
    case 1:
        m_link.SendDataWord(kMovfEecon1W);
        break;
    case 3:
        m_link.SendDataWord(kMovwfTablat);
        break;
    case 4:
        m_link.SendCommandCode(kShiftOutTablat);
        break;
    case 5:
        m_link.SendReadByte();
        if (m_link.batching()) {
            m_deferred.push_back({Deferred::Kind::Sync, 0, {}});
            m_syncPending = true;
        }
        break;
    case 6:
        // The data byte of the read; the second reply byte of the read runs the next step,
        // which polls again while the write bit is still set.
        m_state.TempByte = m_state.ReceivedByte;
        m_state.InstructionPhase = 0;
        if ((m_state.TempByte & kEecon1WriteBit) == 0)
            advance();
        return;
    default:
        return;
    }
    ++m_state.InstructionPhase;
}

// A read of the chip takes two commands, its 4-bit code and the read itself, and then its
// data byte. True on the step that the data byte runs (it is in ReceivedByte); the
// read's second reply runs the next instruction.
bool ScriptEngine::codeThenRead(const Instruction& instruction) {
    if (m_state.InstructionPhase == 0) {
        showPlace(instruction);
        m_link.SendCommandCode(instruction.code);
        m_state.InstructionPhase = 1;
        return false;
    }
    if (m_state.InstructionPhase == 1) {
        m_link.SendReadByte();
        if (m_link.batching())
            defer(instruction);
        m_state.InstructionPhase = 2;
        return false;
    }
    return isReadCompletionPhase(m_state.InstructionPhase);
}

void ScriptEngine::readByte(const Instruction& instruction) {
    if (!codeThenRead(instruction))
        return;
    if (m_link.batching()) {
        const WordMemory memory = instruction.traits().memory;
        if (memory == WordMemory::Flash || memory == WordMemory::Eeprom)
            ++m_state.CurrentAddress;
        m_state.InstructionPhase = 0;
        advance();
        return;
    }
    const auto value = static_cast<std::uint8_t>(m_state.ReceivedByte);
    const std::int32_t address = m_state.CurrentAddress;
    switch (instruction.traits().memory) {
    case WordMemory::Flash:
        if (address >= 0 && address < static_cast<std::int32_t>(m_buffer.Flash.size()))
            m_buffer.Flash[static_cast<std::size_t>(address)] = value;
        ++m_state.CurrentAddress;
        break;
    case WordMemory::Eeprom:
        if (address >= 0 && address < static_cast<std::int32_t>(m_buffer.Eeprom.size()))
            m_buffer.Eeprom[static_cast<std::size_t>(address)] = value;
        ++m_state.CurrentAddress;
        break;
    case WordMemory::Config:
        m_buffer.Config[static_cast<std::size_t>(instruction.configIndex)] = value;
        break;
    case WordMemory::DeviceId:
        if (instruction.configIndex == 0)
            m_state.DeviceIdRead = (m_state.DeviceIdRead & 0xFF00) | value;
        else
            m_state.DeviceIdRead = (m_state.DeviceIdRead & 0x00FF) | (value << 8);
        break;
    case WordMemory::Nowhere:
        m_state.TempByte = value;
        break;
    }
    m_state.InstructionPhase = 0;
    advance();
}

void ScriptEngine::showPlace(const Instruction& instruction) {
    switch (instruction.traits().memory) {
    case WordMemory::Flash:
    case WordMemory::Eeprom:
        m_host.showProgress(instruction.traits().memory == WordMemory::Flash ? Memory::Flash
                                                                             : Memory::Eeprom,
                            m_state.CurrentAddress + 1, m_state.LoopEndAddress + 1);
        break;
    case WordMemory::Config:
        m_host.showConfigByte(instruction.configIndex);
        break;
    case WordMemory::Nowhere:
    case WordMemory::DeviceId:
        return;
    }
    m_host.letPendingEventsRun();
}

ScriptEngine::Expectation ScriptEngine::expectationFor(const Instruction& instruction) const {
    const WordTraits& traits = instruction.traits();
    const ChipSafety& safety = m_model.Safety;
    Expectation expect;
    expect.blank = traits.check == CheckKind::Blank;
    expect.counts = traits.movesAddress;
    if (traits.memory == WordMemory::Config) {
        const auto config = static_cast<std::size_t>(instruction.configIndex);
        expect.expected = expect.blank ? m_model.ConfigErased[config] : m_buffer.Config[config];
        expect.address = kConfigBaseAddress + instruction.configIndex;
        expect.mask = safety.compareMask(config);
        return expect;
    }
    const bool flash = traits.memory == WordMemory::Flash;
    expect.address = (flash ? 0 : kEepromBaseAddress) + m_state.CurrentAddress;
    if (expect.blank) {
        expect.expected = 0xFF;
        return expect;
    }
    expect.expected = flash ? flashAt(m_state.CurrentAddress) : eepromAt(m_state.CurrentAddress);
    // Where the image code-protects the address, the chip reads 00h there, which shows
    // that the protection took.
    expect.protectedAddress =
        m_protectionInPlace && safety.protects(m_buffer.Config, expect.address);
    if (expect.protectedAddress)
        expect.expected = 0x00;
    return expect;
}

// Compares TempByte: a match steps on; a mismatch tells the host, marks the check failed
// and sends the engine to the script's last instruction.
void ScriptEngine::judge(const Expectation& expect) {
    // Configuration bits that the model does not implement take no part.
    if (((m_state.TempByte ^ expect.expected) & expect.mask) == 0) {
        if (expect.counts)
            ++m_state.CurrentAddress;
        advance();
        return;
    }
    m_state.CheckFailed = true;
    m_state.InstructionIndex = m_state.LastInstruction;
    m_host.checkFailed(
        {expect.address, m_state.TempByte, expect.expected, expect.blank, expect.protectedAddress});
}

void ScriptEngine::check(const Instruction& instruction) {
    showPlace(instruction);
    if (m_link.batching()) {
        deferCheck(Deferred::Kind::TempCheck, instruction);
        if (instruction.movesAddress())
            ++m_state.CurrentAddress;
        advance();
    } else {
        judge(expectationFor(instruction));
    }
    m_link.SendNop();
}

// The byte is judged as it arrives, before the read's second reply.
void ScriptEngine::readAndCheck(const Instruction& instruction) {
    if (codeThenRead(instruction)) {
        m_state.InstructionPhase = 0;
        if (m_link.batching()) {
            if (instruction.movesAddress())
                ++m_state.CurrentAddress;
            advance();
            return;
        }
        m_state.TempByte = m_state.ReceivedByte;
        judge(expectationFor(instruction));
    }
}

void ScriptEngine::setBatch(BatchLink* batch) {
    m_link.setBatch(batch);
    clearDeferred();
}

void ScriptEngine::clearDeferred() {
    m_deferred.clear();
    m_deferredNext = 0;
    m_checksDeferred = 0;
    m_lateCheckFailed = false;
    m_syncPending = false;
    m_syncValue.reset();
    m_waitingForChecks = false;
}

// What the byte of the read just sent is for, with the place it belongs to as it is now.
void ScriptEngine::defer(const Instruction& instruction) {
    const WordTraits& traits = instruction.traits();
    if (traits.readsFirst) {
        deferCheck(Deferred::Kind::Check, instruction);
        return;
    }
    switch (traits.memory) {
    case WordMemory::Flash:
        m_deferred.push_back({Deferred::Kind::Flash, m_state.CurrentAddress, {}});
        break;
    case WordMemory::Eeprom:
        m_deferred.push_back({Deferred::Kind::Eeprom, m_state.CurrentAddress, {}});
        break;
    case WordMemory::Config:
        m_deferred.push_back({Deferred::Kind::Config, instruction.configIndex, {}});
        break;
    case WordMemory::DeviceId:
        m_deferred.push_back({Deferred::Kind::DeviceId, instruction.configIndex, {}});
        break;
    case WordMemory::Nowhere:
        m_deferred.push_back({Deferred::Kind::Temp, 0, {}});
        break;
    }
}

void ScriptEngine::deferCheck(Deferred::Kind kind, const Instruction& instruction) {
    m_deferred.push_back({kind, 0, expectationFor(instruction)});
    ++m_checksDeferred;
}

void ScriptEngine::applyReads(const std::vector<std::uint8_t>& data) {
    for (const std::uint8_t value : data) {
        runTempChecks();
        if (m_lateCheckFailed || m_deferredNext >= m_deferred.size())
            return;
        complete(m_deferred[m_deferredNext++], value);
    }
    runTempChecks();
    if (m_deferredNext == m_deferred.size()) {
        m_deferred.clear();
        m_deferredNext = 0;
    }
}

// The checks of TempByte that come before the next read.
void ScriptEngine::runTempChecks() {
    while (!m_lateCheckFailed && m_deferredNext < m_deferred.size() &&
           m_deferred[m_deferredNext].kind == Deferred::Kind::TempCheck) {
        --m_checksDeferred;
        lateJudge(m_deferred[m_deferredNext++].expect);
    }
}

void ScriptEngine::complete(const Deferred& read, std::uint8_t value) {
    const auto at = static_cast<std::size_t>(read.index);
    switch (read.kind) {
    case Deferred::Kind::Flash:
        if (read.index >= 0 && at < m_buffer.Flash.size())
            m_buffer.Flash[at] = value;
        break;
    case Deferred::Kind::Eeprom:
        if (read.index >= 0 && at < m_buffer.Eeprom.size())
            m_buffer.Eeprom[at] = value;
        break;
    case Deferred::Kind::Config:
        m_buffer.Config[at] = value;
        break;
    case Deferred::Kind::DeviceId:
        if (read.index == 0)
            m_state.DeviceIdRead = (m_state.DeviceIdRead & 0xFF00) | value;
        else
            m_state.DeviceIdRead = (m_state.DeviceIdRead & 0x00FF) | (value << 8);
        break;
    case Deferred::Kind::Temp:
        m_state.TempByte = value;
        break;
    case Deferred::Kind::Check:
        --m_checksDeferred;
        m_state.TempByte = value;
        lateJudge(read.expect);
        break;
    case Deferred::Kind::TempCheck:
        break;
    case Deferred::Kind::Sync:
        m_state.TempByte = value;
        m_syncValue = value;
        m_syncPending = false;
        break;
    }
}

// A check whose byte has come: a mismatch is reported as judge reports it, and the
// engine, which has run ahead, goes to the script's last instruction once the packets in
// flight are answered.
void ScriptEngine::lateJudge(const Expectation& expect) {
    if (((m_state.TempByte ^ expect.expected) & expect.mask) == 0)
        return;
    m_state.CheckFailed = true;
    m_lateCheckFailed = true;
    m_host.checkFailed(
        {expect.address, m_state.TempByte, expect.expected, expect.blank, expect.protectedAddress});
}

void ScriptEngine::jumpToLastInstruction() {
    clearDeferred();
    m_link.reset();
    // The script may have run to its end already: its last instruction runs again.
    m_state.RunningOperation = m_kind;
    m_state.InstructionIndex = m_state.LastInstruction;
    m_state.InstructionPhase = 0;
    RunScriptStep(false);
}

void ScriptEngine::resume() {
    m_waitingForChecks = false;
    RunScriptStep(false);
}

} // namespace tessaline
