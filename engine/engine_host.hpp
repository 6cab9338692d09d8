// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/operation_kind.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

// What the script engine needs from the program around it: the operation control, and
// in tests a recording fake.
class EngineHost {
public:
    virtual ~EngineHost();

    // A FLASH or EEPROM data instruction: `done` of `total` bytes (1-based, so the first
    // byte reports 1).
    virtual void showProgress(Memory memory, std::int32_t done, std::int32_t total) = 0;
    // A configuration byte instruction, CONFIG1L .. CONFIG7H as 0 .. 13.
    virtual void showConfigByte(std::int32_t index) = 0;
    // Lets queued window events run (repaints, clicks); never delivers a reply byte to
    // the engine, since the engine switches the receive notification off first.
    virtual void letPendingEventsRun() = 0;
    // A check found a byte other than it should be; returns when the user has read it.
    virtual void checkFailed(const CheckFailure& failure) = 0;
    // Pauses for the given time (the script's wait instruction).
    virtual void waitMilliseconds(int milliseconds) = 0;
    // A command's last byte went out; its reply is due from now on.
    virtual void commandSent() {}
    // An "ifverify" block that runs begins, or its "endverify" is reached: Program All reads
    // back what it wrote in between.
    virtual void readBackBegins() {}
    virtual void readBackEnds() {}
    // The script has run past its last instruction: run the operation's completion.
    virtual void completeOperation(OperationKind kind) = 0;
    // A word the engine cannot execute; the engine has stopped and sends nothing more.
    virtual void scriptError(const std::string& message) = 0;
};

} // namespace tessaline
