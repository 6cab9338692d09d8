// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "buffer/program_buffer.hpp"
#include "protocol/unit_protocol.hpp"

#include <functional>
#include <optional>
#include <string>

namespace tessaline {

struct ConfigSettings;

// What Detect in the programmer unit dialog found: the unit type, or nothing when the
// probe did not end (the port failed, ...), and the line that says so.
// The programmer unit on a port: its type, and the rate of a reference unit's fast mode
// (0: one command a reply).
struct ProgrammerUnitChoice {
    CommandSet type = CommandSet::Original;
    std::int32_t fastBaud = 1000000;
};

struct UnitDetection {
    std::optional<CommandSet> type;
    std::string text;
};

// Every modal interaction of the program. The window uses the Qt implementation; tests
// pass scripted answers. Titles are the application's title; texts end their lines with
// CR LF (the window passes the texts of the core through crlfLines).
class Dialogs {
public:
    enum class Icon { None, Information, Critical };

    virtual ~Dialogs();

    // A message box with an OK button only.
    virtual void message(const std::string& text, Icon icon = Icon::None) = 0;
    // A message box with Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // The same question without waiting for it: the program goes on while it is open, and
    // `answered` runs with the answer (true for Yes) once the user has given it. Closing
    // the box answers No.
    virtual void askYesNoLater(const std::string& text, std::function<void(bool)> answered) = 0;
    // An input box; Cancel gives the empty text.
    virtual std::string inputBox(const std::string& prompt, const std::string& proposed) = 0;
    // File dialogs; the filter is in the "Description|pattern|Description|pattern" form.
    // Cancel gives the empty text.
    virtual std::string openFileName(const std::string& title, const std::string& filter,
                                     const std::string& folder) = 0;
    virtual std::string saveFileName(const std::string& title, const std::string& filter,
                                     const std::string& folder) = 0;
    // The configuration bits of a model by setting: one row per setting, grouped by
    // configuration byte, starting from config. The bytes as chosen, or nothing on Cancel.
    virtual std::optional<ConfigValues> configurationBits(const std::string& model,
                                                          const ConfigSettings& settings,
                                                          const ConfigValues& config) = 0;
    // The programmer unit on the serial port that `port` names: its type and fast rate,
    // starting from `current`, and a Detect button that runs `detect`, shows its line and
    // selects the type found. What was chosen, or nothing on Cancel.
    virtual std::optional<ProgrammerUnitChoice>
    programmerUnit(const std::string& port, const ProgrammerUnitChoice& current,
                   const std::function<UnitDetection()>& detect) = 0;
};

} // namespace tessaline
