// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/operation_texts.hpp"

#include "buffer/config_bytes.hpp"
#include "buffer/hex_text.hpp"
#include "texts/identify_texts.hpp"
#include "texts/unit_texts.hpp"

namespace tessaline {

namespace {

struct KindTexts {
    const char* begin;
    const char* done;
    const char* checkFailed;
    const char* name;
};

const KindTexts& textsOf(OperationKind kind) {
    static const KindTexts kTexts[] = {
        // Program All verifies what it wrote; a mismatch ends it as a failed verify.
        {"Begin program all", "Chip programmed", "Chip verify failed", "Program all"},
        {"Begin read all", "Chip read", "Chip read", "Read all"},
        {"Begin erase all", "Chip erased", "Chip erased", "Erase all"},
        {"Begin blank check", "Chip is blank", "Chip is not blank", "Blank check"},
        {"Begin verify", "Chip verified", "Chip verify failed", "Verify"},
        {"Begin identify chip", "Chip identified", "Chip identified", "Identify chip"},
        {"Begin detect unit", "Unit detected", "Unit detected", "Detect unit"},
        {"Begin unit report", "Unit report read", "Unit report read", "Unit report"},
        {"Begin calibration", "Unit calibrated", "Unit calibrated", "Calibration"},
    };
    return kTexts[static_cast<int>(kind)];
}

} // namespace

std::string beginText(OperationKind kind) {
    return textsOf(kind).begin;
}

std::string progressText(Memory memory, std::int32_t done, std::int32_t total) {
    return (memory == Memory::Flash ? "F:" : "E:") + std::to_string(done) + "/" +
           std::to_string(total);
}

std::string linkModeText(std::int32_t fastBaud) {
    return fastBaud > 0 ? "Fast mode, " + std::to_string(fastBaud) + " baud" : "Standard mode";
}

std::string configByteText(std::int32_t index) {
    return std::string(kConfigBytes.at(static_cast<std::size_t>(index)).statusText);
}

std::string portStatusText(std::int32_t portNumber, bool ready, const std::string& reason) {
    return "Serial port " + std::to_string(portNumber) + (ready ? " ready" : " error!") +
           (ready || reason.empty() ? std::string() : " " + reason);
}

std::string operationName(OperationKind kind) {
    return textsOf(kind).name;
}

std::string endStatusText(const OperationEnd& end, std::int32_t portNumber) {
    switch (end.outcome) {
    case Outcome::Done:
        return textsOf(end.kind).done;
    case Outcome::CheckFailed:
        return textsOf(end.kind).checkFailed;
    case Outcome::Refused:
        return end.detail.empty() && !end.unitType ? portStatusText(portNumber, false)
                                                   : std::string();
    case Outcome::Stopped:
        return operationName(end.kind) + " stopped";
    case Outcome::UnitSilent:
    case Outcome::PortFailed:
    case Outcome::ScriptFailed:
    case Outcome::WrongDevice:
    case Outcome::StrayBytes:
    case Outcome::UnitRefused:
    case Outcome::LinkFailed:
        break;
    }
    return operationName(end.kind) + " failed";
}

std::string checkFailureMessage(const CheckFailure& failure) {
    std::string message =
        (failure.blank ? "Chip is not blank at address " : "Verify failed at address ") +
        Hex6(failure.address) + "h!\nThe value read from that address is " + Hex2(failure.read) +
        "h.";
    if (failure.protectedAddress)
        message += "\nThe address is code-protected, so the value expected is 00h.";
    else if (!failure.blank)
        message += "\nThe value expected is " + Hex2(failure.expected) + "h.";
    return message;
}

std::string endMessage(const OperationEnd& end) {
    constexpr const char* kStopped = "\nThe operation was stopped.";
    switch (end.outcome) {
    case Outcome::Done:
    case Outcome::CheckFailed:
        return {};
    case Outcome::Refused:
        if (end.unitType)
            return needsReferenceUnitText(end.kind) + "\nThe operation was not started.";
        return end.detail.empty() ? std::string() : end.detail + "\nThe operation was not started.";
    case Outcome::UnitSilent:
        return std::string("The programmer unit does not answer.") + kStopped;
    case Outcome::PortFailed:
        return "The serial port failed: " + end.detail + kStopped;
    case Outcome::ScriptFailed:
        return end.detail + kStopped;
    case Outcome::WrongDevice:
        return end.chip ? wrongChipMessage(*end.chip) : std::string();
    case Outcome::StrayBytes:
        return std::string("The programmer unit sent bytes that no command asked for, so the "
                           "result cannot be trusted.") +
               kStopped;
    case Outcome::UnitRefused:
        return unitStatusText(end.unitStatus) + "The operation was stopped.";
    case Outcome::LinkFailed:
        return "The link to the programmer unit failed in fast mode: a packet or its reply was "
               "lost, garbled or late.\n" +
               unitStatusText(end.unitStatus) + "The operation was stopped.";
    case Outcome::Stopped:
        return {};
    }
    return {};
}

} // namespace tessaline
