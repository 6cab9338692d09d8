// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/scripted_dialogs.hpp"

#include <gtest/gtest.h>

namespace tessaline::test {

std::string ScriptedDialogs::nextAnswer() {
    if (answers.empty()) {
        ADD_FAILURE() << "a dialog asked for an answer that the test did not script";
        return {};
    }
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedDialogs::message(const std::string& text, Icon icon) {
    shown.push_back({"message", text, {}, icon});
    if (whileMessageShown)
        whileMessageShown();
}

bool ScriptedDialogs::askYesNo(const std::string& text) {
    shown.push_back({"yesno", text, {}, Icon::None});
    if (yesNoAnswers.empty()) {
        ADD_FAILURE() << "a Yes/No question that the test did not script: " << text;
        return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::askYesNoLater(const std::string& text, std::function<void(bool)> answered) {
    if (holdQuestions) {
        shown.push_back({"yesno", text, {}, Icon::None});
        heldQuestion = std::move(answered);
        return;
    }
    answered(askYesNo(text));
}

std::string ScriptedDialogs::inputBox(const std::string& prompt, const std::string& proposed) {
    shown.push_back({"input", prompt, proposed, Icon::None});
    return nextAnswer();
}

std::string ScriptedDialogs::openFileName(const std::string& title, const std::string& filter,
                                          const std::string& folder) {
    shown.push_back({"open", title, filter + "|" + folder, Icon::None});
    return nextAnswer();
}

std::string ScriptedDialogs::saveFileName(const std::string& title, const std::string& filter,
                                          const std::string& folder) {
    shown.push_back({"save", title, filter + "|" + folder, Icon::None});
    return nextAnswer();
}

std::optional<ConfigValues> ScriptedDialogs::configurationBits(const std::string& model,
                                                               const ConfigSettings& settings,
                                                               const ConfigValues& config) {
    shown.push_back({"configbits", model, {}, Icon::None});
    if (!configurationBitsAnswer) {
        ADD_FAILURE() << "a configuration-bits dialog that the test did not script";
        return std::nullopt;
    }
    return configurationBitsAnswer(settings, config);
}

std::optional<ProgrammerUnitChoice>
ScriptedDialogs::programmerUnit(const std::string& port, const ProgrammerUnitChoice& current,
                                const std::function<UnitDetection()>& detect) {
    shown.push_back({"unit", port, current.type == CommandSet::Reference ? "reference" : "original",
                     Icon::None});
    if (!programmerUnitAnswer) {
        ADD_FAILURE() << "a programmer unit dialog that the test did not script";
        return std::nullopt;
    }
    const std::optional<CommandSet> type = programmerUnitAnswer(current.type, detect);
    if (!type)
        return std::nullopt;
    return ProgrammerUnitChoice{*type, fastBaudAnswer.value_or(current.fastBaud)};
}

std::vector<std::string> ScriptedDialogs::messages() const {
    std::vector<std::string> texts;
    for (const Shown& entry : shown)
        if (entry.kind == "message")
            texts.push_back(entry.text);
    return texts;
}

} // namespace tessaline::test
