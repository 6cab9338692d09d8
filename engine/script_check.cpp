#include "engine/script_check.hpp"

#include "engine/instruction.hpp"

#include <vector>

namespace tessaline {

std::optional<std::string> checkScript(const Script& script, std::int32_t voltageSequence) {
    std::vector<Instruction> decoded;
    decoded.reserve(script.size());
    for (const std::string& word : script) {
        const Instruction instruction = decodeInstruction(word);
        if (instruction.op == Op::Unrecognized)
            return "Unrecognized symbolic instruction '" + word + "'.";
        if (!instruction.fieldsParse())
            return "The script word '" + word +
                   "' has a hexadecimal field that is not made of hexadecimal digits.";
        decoded.push_back(instruction);
    }
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (!decoded[i].isLoopHead())
            continue;
        bool closed = false;
        for (std::size_t j = i + 1; j < decoded.size() && !closed; ++j)
            closed = decoded[j].op == Op::Loop;
        if (!closed)
            return "The loop that begins with '" + script[i] + "' has no 'loop' after it.";
    }
    if (!decoded.empty() && decoded.back().isCheck())
        return "The script ends with the check '" + script.back() +
               "', which a failed check would run again.";
    if (voltageSequence != 1 && voltageSequence != 2)
        return "The model's power-up order is neither vddvpp nor vppvdd.";
    return std::nullopt;
}

} // namespace tessaline
