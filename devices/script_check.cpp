// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/script_check.hpp"

#include "devices/prog_time_range.hpp"

#include <algorithm>

namespace tessaline {

namespace {

// The longest wait a script may ask for.
constexpr std::int32_t kLongestWaitMs = 10000;

struct Problem {
    SourceLine source;
    std::string text;
};

// Loops and verify blocks: neither nests within its own kind, and a loop lies wholly
// inside or wholly outside a verify block, since a skipped block takes its words along.
std::optional<std::string> structureProblem(const std::vector<ScriptStep>& steps) {
    std::optional<std::size_t> head;
    std::optional<std::size_t> block;
    bool headInBlock = false;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Instruction& instruction = steps[i].instruction;
        if (instruction.isLoopHead()) {
            if (head)
                return "The loop that begins with '" + steps[*head].word + "' has the loop head '" +
                       steps[i].word + "' inside it; loops do not nest.";
            head = i;
            headInBlock = block.has_value();
        } else if (instruction.op == Op::Loop) {
            if (!head)
                return std::string("The word 'loop' has no loop head before it.");
            if (headInBlock != block.has_value())
                return "The loop that begins with '" + steps[*head].word +
                       "' crosses the edge of an 'ifverify' block.";
            const bool moves =
                std::any_of(steps.begin() + static_cast<std::ptrdiff_t>(*head) + 1,
                            steps.begin() + static_cast<std::ptrdiff_t>(i),
                            [](const ScriptStep& step) { return step.instruction.movesAddress(); });
            if (!moves)
                return "The loop that begins with '" + steps[*head].word +
                       "' has no word that moves the address, so it would never end.";
            head.reset();
        } else if (instruction.op == Op::IfVerify) {
            if (block)
                return std::string("An 'ifverify' block has another 'ifverify' inside it; they "
                                   "do not nest.");
            block = i;
        } else if (instruction.op == Op::EndVerify) {
            if (!block)
                return std::string("The word 'endverify' has no 'ifverify' before it.");
            if (head && headInBlock)
                return "The loop that begins with '" + steps[*head].word +
                       "' crosses the edge of an 'ifverify' block.";
            block.reset();
        }
    }
    if (head)
        return "The loop that begins with '" + steps[*head].word + "' has no 'loop' after it.";
    if (block)
        return std::string("The 'ifverify' block has no 'endverify' after it.");
    return std::nullopt;
}

std::optional<std::string> wordFault(const ScriptStep& step) {
    if (step.instruction.op == Op::Unrecognized)
        return "Unrecognized symbolic instruction '" + step.word + "'.";
    if (!step.instruction.fieldsParse())
        return "The script word '" + step.word +
               "' has a hexadecimal field that is not made of hexadecimal digits.";
    return std::nullopt;
}

std::optional<Problem> findProblem(const DeviceScript& script, std::int32_t voltageSequence,
                                   const SourceLine& voltageSequenceSource) {
    const std::vector<ScriptStep>& steps = script.steps;
    auto inScript = [&](std::string text) { return Problem{script.source, std::move(text)}; };
    // A record's missing script reads as one empty word; a script without any word at all
    // would leave an operation waiting for a reply to nothing.
    if (steps.empty())
        return inScript("The script has no words.");
    for (const ScriptStep& step : steps) {
        if (auto fault = wordFault(step))
            return inScript(std::move(*fault));
        if (step.instruction.op == Op::Wait && step.instruction.waitMilliseconds > kLongestWaitMs)
            return inScript("The wait '" + step.word + "' is longer than 10 seconds.");
    }
    if (auto problem = structureProblem(steps))
        return inScript(std::move(*problem));
    if (!steps.empty() && steps.back().instruction.isCheck())
        return inScript("The script ends with the check '" + steps.back().word +
                        "', which a failed check would run again.");
    const bool powers = std::any_of(steps.begin(), steps.end(), [](const ScriptStep& step) {
        return step.instruction.op == Op::Begin;
    });
    if (powers && steps.back().instruction.op != Op::End)
        return inScript("The script applies power with 'begin' but does not end with 'end'.");
    if (voltageSequence != 1 && voltageSequence != 2)
        return Problem{voltageSequenceSource,
                       "The model's power-up order is neither vddvpp nor vppvdd."};
    return std::nullopt;
}

} // namespace

std::optional<std::string> checkScript(const DeviceScript& script, std::int32_t voltageSequence,
                                       const SourceLine& voltageSequenceSource) {
    if (auto problem = findProblem(script, voltageSequence, voltageSequenceSource))
        return problem->source.prefix() + problem->text;
    return std::nullopt;
}

std::optional<std::string> checkOperationScript(const DeviceScript& script,
                                                const SelectedModelValues& model) {
    std::optional<Problem> problem =
        findProblem(script, model.VoltageSequence, model.VoltageSequenceSource);
    const bool sendsProgTime =
        std::any_of(script.steps.begin(), script.steps.end(),
                    [](const ScriptStep& step) { return step.instruction.op == Op::SetProgTime; });
    if (!problem && sendsProgTime &&
        (model.ProgTime < kShortestProgTimeMs || model.ProgTime > kLongestProgTimeMs))
        problem = Problem{model.ProgTimeSource,
                          "The programming time of " + std::to_string(model.ProgTime) +
                              " ms is outside " + std::to_string(kShortestProgTimeMs) + " to " +
                              std::to_string(kLongestProgTimeMs) + " ms."};
    if (!problem)
        return std::nullopt;
    const std::string name =
        model.SelectedModelName.empty() ? std::string() : model.SelectedModelName + ": ";
    return problem->source.prefix() + name + problem->text;
}

std::optional<std::string> wordProblem(const DeviceScript& script, const ScriptStep& step) {
    if (auto fault = wordFault(step))
        return script.source.prefix() + *fault;
    return std::nullopt;
}

} // namespace tessaline
