// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/engine_host.hpp"
#include "engine/operation_control.hpp"
#include "texts/line_ends.hpp"
#include "texts/operation_texts.hpp"

#include <functional>
#include <string>
#include <vector>

namespace tessaline::test {

// Records what the engine shows and asks for; progress is kept as the window's texts.
class RecordingEngineHost : public EngineHost {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::vector<OperationKind> completions;
    std::vector<std::string> errors;
    std::vector<int> waits;
    int eventPasses = 0;

    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override {
        statuses.push_back(progressText(memory, done, total));
    }
    void showConfigByte(std::int32_t index) override { statuses.push_back(configByteText(index)); }
    void letPendingEventsRun() override { ++eventPasses; }
    void checkFailed(const CheckFailure& failure) override {
        messages.push_back(crlfLines(checkFailureMessage(failure)));
    }
    void waitMilliseconds(int milliseconds) override { waits.push_back(milliseconds); }
    void completeOperation(OperationKind kind) override { completions.push_back(kind); }
    void scriptError(const std::string& message) override { errors.push_back(message); }
};

// An operation host that records everything as the window would show it, and lets a
// test hook the waits.
class RecordingOperationHost : public OperationHost {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::vector<OperationEnd> ends;
    std::function<void(int)> onWait;
    // Called as each command goes out (the reply timer starts).
    std::function<void()> onCommand;
    // Called where the window would let its pending events run.
    std::function<void()> onEvents;
    int enables = 0;
    int disables = 0;
    int displays = 0;
    int timerMs = -1; // the running reply timer, -1 when stopped
    bool enabled = true;

    void disable() override {
        ++disables;
        enabled = false;
    }
    void updatedisplay() override { ++displays; }
    void letPendingEventsRun() override {
        if (onEvents)
            onEvents();
    }
    void operationBegins(OperationKind kind) override { statuses.push_back(beginText(kind)); }
    void showProgress(Memory memory, std::int32_t done, std::int32_t total) override {
        statuses.push_back(progressText(memory, done, total));
    }
    void showConfigByte(std::int32_t index) override { statuses.push_back(configByteText(index)); }
    // Program All's read-back begins (true) or ends, after this many statuses.
    std::vector<std::pair<bool, std::size_t>> readBacks;
    void readBackBegins() override { readBacks.emplace_back(true, statuses.size()); }
    void readBackEnds() override { readBacks.emplace_back(false, statuses.size()); }
    void checkFailed(const CheckFailure& failure) override {
        messages.push_back(crlfLines(checkFailureMessage(failure)));
    }
    void waitMilliseconds(int milliseconds) override {
        if (onWait)
            onWait(milliseconds);
    }
    void startReplyTimer(int milliseconds) override {
        timerMs = milliseconds;
        if (onCommand)
            onCommand();
    }
    void stopReplyTimer() override { timerMs = -1; }
    void operationEnded(const OperationEnd& end) override {
        ends.push_back(end);
        if (end.outcome != Outcome::Refused) {
            ++enables;
            enabled = true;
            if (end.kind == OperationKind::Read)
                ++displays;
        }
        if (const std::string text = endStatusText(end, portNumber); !text.empty())
            statuses.push_back(text);
        if (const std::string text = endMessage(end); !text.empty())
            messages.push_back(crlfLines(text));
    }

    std::string status() const { return statuses.empty() ? std::string() : statuses.back(); }

    int portNumber = 1;
};

} // namespace tessaline::test
