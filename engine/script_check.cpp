#include "engine/script_check.hpp"

namespace tessaline {

std::optional<std::string> checkScript(const DeviceScript& script, std::int32_t voltageSequence,
                                       const SourceLine& voltageSequenceSource) {
    const std::string at = script.source.prefix();
    const std::vector<ScriptStep>& steps = script.steps;
    for (const ScriptStep& step : steps) {
        if (step.instruction.op == Op::Unrecognized)
            return at + "Unrecognized symbolic instruction '" + step.word + "'.";
        if (!step.instruction.fieldsParse())
            return at + "The script word '" + step.word +
                   "' has a hexadecimal field that is not made of hexadecimal digits.";
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (!steps[i].instruction.isLoopHead())
            continue;
        bool closed = false;
        for (std::size_t j = i + 1; j < steps.size() && !closed; ++j)
            closed = steps[j].instruction.op == Op::Loop;
        if (!closed)
            return at + "The loop that begins with '" + steps[i].word + "' has no 'loop' after it.";
    }
    if (!steps.empty() && steps.back().instruction.isCheck())
        return at + "The script ends with the check '" + steps.back().word +
               "', which a failed check would run again.";
    if (voltageSequence != 1 && voltageSequence != 2)
        return voltageSequenceSource.prefix() +
               "The model's power-up order is neither vddvpp nor vppvdd.";
    return std::nullopt;
}

} // namespace tessaline
