#pragma once

#include "engine/engine_host.hpp"
#include "engine/operation_control.hpp"

#include <functional>
#include <string>
#include <vector>

namespace tessaline::test {

// Records what the engine shows and asks for.
class RecordingEngineHost : public EngineHost {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::vector<std::string> completions;
    std::vector<std::string> errors;
    std::vector<int> waits;
    int eventPasses = 0;

    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void letPendingEventsRun() override { ++eventPasses; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void waitMilliseconds(int milliseconds) override { waits.push_back(milliseconds); }
    void completeOperation(const std::string& operation) override {
        completions.push_back(operation);
    }
    void scriptError(const std::string& message) override { errors.push_back(message); }
};

// An operation host that records everything and lets a test hook the waits.
class RecordingOperationHost : public OperationHost {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::function<void(int)> onWait;
    int enables = 0;
    int disables = 0;
    int displays = 0;
    int timerMs = -1; // the running reply timer, -1 when stopped
    bool enabled = true;

    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void letPendingEventsRun() override {}
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void waitMilliseconds(int milliseconds) override {
        if (onWait)
            onWait(milliseconds);
    }
    void disable() override {
        ++disables;
        enabled = false;
    }
    void enable() override {
        ++enables;
        enabled = true;
    }
    void updatedisplay() override { ++displays; }
    void startReplyTimer(int milliseconds) override { timerMs = milliseconds; }
    void stopReplyTimer() override { timerMs = -1; }

    std::string status() const { return statuses.empty() ? std::string() : statuses.back(); }
};

} // namespace tessaline::test
