#pragma once

#include <string>

namespace tessaline {

// What the script engine needs from the program around it: the window, the
// command-line tool and the tests each provide one.
class EngineHost {
public:
    virtual ~EngineHost();

    // Replaces the status line.
    virtual void setStatus(const std::string& text) = 0;
    // Lets queued window events run (repaints, clicks); never delivers a reply byte to
    // the engine, since the engine switches the receive notification off first.
    virtual void letPendingEventsRun() = 0;
    // A modal message with an OK button; returns when the user closed it.
    virtual void showMessage(const std::string& text) = 0;
    // Pauses for the given time (the script's wait instruction).
    virtual void waitMilliseconds(int milliseconds) = 0;
    // The script has run past its last instruction: run the completion routine of the
    // operation ("program", "erase", "read", "blank" or "verify").
    virtual void completeOperation(const std::string& operation) = 0;
    // A word the engine cannot execute; the engine has stopped and sends nothing more.
    virtual void scriptError(const std::string& message) = 0;
};

} // namespace tessaline
