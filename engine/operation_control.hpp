#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/selected_model.hpp"
#include "engine/engine_host.hpp"
#include "engine/operation_kind.hpp"
#include "engine/script_engine.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

class BytePort;
class ByteTrace;

// What an operation needs from the front end that runs it.
class OperationHost {
public:
    virtual ~OperationHost();

    // Locks the commands that could start a second operation or change the buffer.
    virtual void disable() = 0;
    // Redraws everything shown from the buffer.
    virtual void updatedisplay() = 0;
    virtual void letPendingEventsRun() = 0;
    // The operation is about to send its first byte.
    virtual void operationBegins(OperationKind kind) = 0;
    // A FLASH or EEPROM byte: `done` of `total` (the first byte reports 1).
    virtual void showProgress(Memory memory, std::int32_t done, std::int32_t total) = 0;
    // A configuration byte, CONFIG1L .. CONFIG7H as 0 .. 13.
    virtual void showConfigByte(std::int32_t index) = 0;
    // A check's mismatch; returns when the user has read it.
    virtual void showMessage(const std::string& text) = 0;
    virtual void waitMilliseconds(int milliseconds) = 0;
    // Starts (or restarts) the wait for the unit's next reply; replyTimedOut is due when
    // it runs out. stopReplyTimer ends the wait.
    virtual void startReplyTimer(int milliseconds) = 0;
    virtual void stopReplyTimer() = 0;
    // The operation has ended, or was refused. Unless it was refused, the host unlocks
    // what disable locked, reports the end and, after a read, shows the buffer again.
    virtual void operationEnded(const OperationEnd& end) = 0;
};

// Starts the five operations, hands every reply byte to the engine and finishes them:
// the completion routines, and the ends that the unit forces (no reply, a failing port).
class OperationControl : private EngineHost {
public:
    OperationControl(ProgramBuffer& buffer, SelectedModelValues& model, BytePort& port,
                     OperationHost& host);

    // Checks the port and the script, then runs the first step; the unit's replies run
    // the rest. A refused start ends at once with Outcome::Refused.
    void StartOperation(OperationKind kind, bool portReady);
    void StartProgramAll(bool portReady) { StartOperation(OperationKind::Program, portReady); }
    void StartReadAll(bool portReady) { StartOperation(OperationKind::Read, portReady); }
    void StartEraseAll(bool portReady) { StartOperation(OperationKind::Erase, portReady); }
    void StartBlankCheck(bool portReady) { StartOperation(OperationKind::Blank, portReady); }
    void StartVerify(bool portReady) { StartOperation(OperationKind::Verify, portReady); }

    // The port's receive event: every waiting byte runs one step, in arrival order. Bytes
    // that arrive while no operation runs are read and dropped.
    void MSComm1_OnComm();

    // Completion routines: the script has run to its end.
    void program2_routine() { finish(OperationKind::Program); }
    void read2_routine() { finish(OperationKind::Read); }
    void erase2_routine() { finish(OperationKind::Erase); }
    void blank2_routine() { finish(OperationKind::Blank); }
    void verify2_routine() { finish(OperationKind::Verify); }

    // The unit did not answer in time; ends the operation.
    void replyTimedOut();
    // The serial port failed (an adapter pulled out); ends the operation.
    void portFailed(const std::string& systemError);

    // Every byte sent and received from now on goes to the trace as well; nullptr ends it.
    void setTrace(ByteTrace* trace) { m_engine.setTrace(trace); }

    bool running() const { return m_engine.running() || m_starting; }
    const ScriptEngine& engine() const { return m_engine; }
    int replyTimeoutMs() const;
    // The most commands an operation of the selected model may send.
    std::int64_t commandLimit() const;

private:
    // EngineHost, for the engine.
    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override {
        m_host.showProgress(memory, done, total);
    }
    void showConfigByte(std::int32_t index) override { m_host.showConfigByte(index); }
    void letPendingEventsRun() override { m_host.letPendingEventsRun(); }
    void showMessage(const std::string& text) override;
    void waitMilliseconds(int milliseconds) override;
    void commandSent() override;
    void completeOperation(OperationKind kind) override;
    void scriptError(const std::string& message) override;

    void finish(OperationKind kind);
    void abort(Outcome outcome, const std::string& detail);
    const DeviceScript& scriptFor(OperationKind kind) const;

    ScriptEngine m_engine;
    ProgramBuffer& m_buffer;
    SelectedModelValues& m_model;
    BytePort& m_port;
    OperationHost& m_host;
    OperationKind m_kind = OperationKind::Program;
    bool m_starting = false;
    std::int64_t m_commands = 0;
    bool m_overLimit = false;
};

} // namespace tessaline
