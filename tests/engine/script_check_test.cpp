#include "engine/script_check.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

TEST(ScriptCheck, RefusesScriptsThatCouldNotRunToTheirEnd) {
    struct Row {
        const char* script;
        std::int32_t voltageSequence;
        const char* problem; // nullptr: accepted
    };
    const Row rows[] = {
        {"begin,calcflash,setflashloop,s0d-flash,loop,end", 1, nullptr},
        {"begin,,end", 1, "devices.cfg:12: Unrecognized symbolic instruction ''."},
        {"", 1, "devices.cfg:12: Unrecognized symbolic instruction ''."},
        {"begin,s0g-1234,end", 1,
         "devices.cfg:12: The script word 's0g-1234' has a hexadecimal field that is not made of "
         "hexadecimal "
         "digits."},
        {"begin,flash=sxx,end", 1,
         "devices.cfg:12: The script word 'flash=sxx' has a hexadecimal field that is not made of "
         "hexadecimal "
         "digits."},
        {"begin,setflashloop,s0d-flash,end", 1,
         "devices.cfg:12: The loop that begins with 'setflashloop' has no 'loop' after it."},
        {"begin,temp=s09,checkblankflash", 1,
         "devices.cfg:12: The script ends with the check 'checkblankflash', which a failed check "
         "would run "
         "again."},
        {"begin,end", 0, "devices.cfg:5: The model's power-up order is neither vddvpp nor vppvdd."},
    };
    for (const Row& row : rows) {
        const auto problem = checkScript(decodeScript(row.script, {"devices.cfg", 12}),
                                         row.voltageSequence, {"devices.cfg", 5});
        if (row.problem)
            EXPECT_EQ(problem.value_or("accepted"), row.problem) << row.script;
        else
            EXPECT_FALSE(problem.has_value()) << row.script << ": " << *problem;
    }
}
