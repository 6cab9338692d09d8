// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialogs.hpp"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tessaline::test {

// Dialogs that answer from a script and record what they were shown. An input box or
// file dialog with no scripted answer left fails the test and answers as Cancel.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        // "message", "yesno", "input", "open", "save", "configbits", "unit"
        std::string kind;
        // message or prompt, the dialog's title, the model, or the unit's port
        std::string text;
        std::string detail; // proposed entry, or the file dialog's filter and folder
        Icon icon = Icon::None;
    };

    std::deque<std::string> answers;
    std::deque<bool> yesNoAnswers;
    std::vector<Shown> shown;
    // Runs while a message is shown, as the time a user takes to read it.
    std::function<void()> whileMessageShown;
    // A question asked without waiting is answered at once from yesNoAnswers, unless the
    // test holds it open: then heldQuestion answers it when the test chooses.
    bool holdQuestions = false;
    std::function<void(bool)> heldQuestion;
    // The answer of the configuration-bits dialog: the bytes chosen, or nothing for Cancel.
    std::function<std::optional<ConfigValues>(const ConfigSettings&, const ConfigValues&)>
        configurationBitsAnswer;
    // The programmer unit dialog: the type it shows and its Detect, in; the type chosen or
    // nothing for Cancel, out. The fast rate stays as shown unless fastBaudAnswer is set.
    std::function<std::optional<CommandSet>(CommandSet, const std::function<UnitDetection()>&)>
        programmerUnitAnswer;
    std::optional<std::int32_t> fastBaudAnswer;

    void message(const std::string& text, Icon icon) override;
    bool askYesNo(const std::string& text) override;
    void askYesNoLater(const std::string& text, std::function<void(bool)> answered) override;
    std::string inputBox(const std::string& prompt, const std::string& proposed) override;
    std::string openFileName(const std::string& title, const std::string& filter,
                             const std::string& folder) override;
    std::string saveFileName(const std::string& title, const std::string& filter,
                             const std::string& folder) override;
    std::optional<ConfigValues> configurationBits(const std::string& model,
                                                  const ConfigSettings& settings,
                                                  const ConfigValues& config) override;
    std::optional<ProgrammerUnitChoice>
    programmerUnit(const std::string& port, const ProgrammerUnitChoice& current,
                   const std::function<UnitDetection()>& detect) override;

    std::vector<std::string> messages() const;

private:
    std::string nextAnswer();
};

} // namespace tessaline::test
