#pragma once

#include "buffer/program_buffer.hpp"
#include "devices/selected_model.hpp"
#include "engine/engine_host.hpp"
#include "engine/script_engine.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

class BytePort;

// What an operation needs from the front end that runs it, beyond the engine's needs.
class OperationHost {
public:
    virtual ~OperationHost();

    virtual void setStatus(const std::string& text) = 0;
    virtual void letPendingEventsRun() = 0;
    virtual void showMessage(const std::string& text) = 0;
    virtual void waitMilliseconds(int milliseconds) = 0;
    // Locks and unlocks the commands that could start a second operation.
    virtual void disable() = 0;
    virtual void enable() = 0;
    virtual void updatedisplay() = 0;
    // Starts (or restarts) the wait for the unit's next reply; replyTimedOut is due when
    // it runs out. stopReplyTimer ends the wait.
    virtual void startReplyTimer(int milliseconds) = 0;
    virtual void stopReplyTimer() = 0;
};

enum class OperationKind { Program, Read, Erase, Blank, Verify };

struct OperationTexts {
    const char* word;        // "program"
    const char* beginText;   // "Begin program all"
    const char* doneText;    // "Chip programmed"
    const char* failedText;  // the completion text after a failed check, or the done text
    const char* failureName; // "Program all", for the status line when the unit fails
};

const OperationTexts& operationTexts(OperationKind kind);

// Starts the five operations, hands every reply byte to the engine and finishes them:
// the completion routines, and the ends that the unit forces (no reply, a failing port).
class OperationControl : private EngineHost {
public:
    OperationControl(ProgramBuffer& buffer, SelectedModelValues& model, BytePort& port,
                     OperationHost& host);

    enum class StartResult { Started, PortNotReady, ScriptRefused };

    // Runs the first step of an operation; the unit's replies run the rest.
    StartResult StartOperation(OperationKind kind, bool portReady, std::int32_t portNumber);
    void StartProgramAll(bool ready, std::int32_t port) {
        StartOperation(OperationKind::Program, ready, port);
    }
    void StartReadAll(bool ready, std::int32_t port) {
        StartOperation(OperationKind::Read, ready, port);
    }
    void StartEraseAll(bool ready, std::int32_t port) {
        StartOperation(OperationKind::Erase, ready, port);
    }
    void StartBlankCheck(bool ready, std::int32_t port) {
        StartOperation(OperationKind::Blank, ready, port);
    }
    void StartVerify(bool ready, std::int32_t port) {
        StartOperation(OperationKind::Verify, ready, port);
    }

    // The port's receive event: every waiting byte runs one step, in arrival order. Bytes
    // that arrive while no operation runs are read and dropped.
    void MSComm1_OnComm();

    // Completion routines: unlock the window and show the result.
    void program2_routine() { finish(OperationKind::Program); }
    void read2_routine() { finish(OperationKind::Read); }
    void erase2_routine() { finish(OperationKind::Erase); }
    void blank2_routine() { finish(OperationKind::Blank); }
    void verify2_routine() { finish(OperationKind::Verify); }

    // The unit did not answer in time; ends the operation.
    void replyTimedOut();
    // The serial port failed (an adapter pulled out); ends the operation.
    void portFailed(const std::string& systemError);

    bool running() const { return !engine.state.RunningOperation.empty() || m_starting; }
    // The completion text of the last operation that ran to its end, or empty.
    const std::string& lastCompletion() const { return m_lastCompletion; }
    // True when the last operation was ended by the unit or the port, not by its script.
    bool lastOperationFailed() const { return m_lastFailed; }
    int replyTimeoutMs() const;

    ScriptEngine engine;

private:
    // EngineHost, for the engine.
    void setStatus(const std::string& text) override { m_host.setStatus(text); }
    void letPendingEventsRun() override { m_host.letPendingEventsRun(); }
    void showMessage(const std::string& text) override { m_host.showMessage(text); }
    void waitMilliseconds(int milliseconds) override { m_host.waitMilliseconds(milliseconds); }
    void completeOperation(const std::string& operation) override;
    void scriptError(const std::string& message) override;

    void finish(OperationKind kind);
    void abort(const std::string& message);
    const Script& scriptFor(OperationKind kind) const;

    ProgramBuffer& m_buffer;
    SelectedModelValues& m_model;
    BytePort& m_port;
    OperationHost& m_host;
    OperationKind m_kind = OperationKind::Program;
    bool m_starting = false;
    std::string m_lastCompletion;
    bool m_lastFailed = false;
};

} // namespace tessaline
