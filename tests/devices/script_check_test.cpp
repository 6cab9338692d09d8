// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/script_check.hpp"

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
        {"begin,setflashloop,seteepromloop,s0d-flash,loop,end", 1,
         "devices.cfg:12: The loop that begins with 'setflashloop' has the loop head "
         "'seteepromloop' inside it; loops do not nest."},
        {"begin,s0d-flash,loop,end", 1,
         "devices.cfg:12: The word 'loop' has no loop head before it."},
        {"begin,setflashloop,temp=s09,s00-0000,loop,end", 1,
         "devices.cfg:12: The loop that begins with 'setflashloop' has no word that moves the "
         "address, so it would never end."},
        {"begin,w10000,end", 1, nullptr},
        {"begin,w10001,end", 1, "devices.cfg:12: The wait 'w10001' is longer than 10 seconds."},
        {"begin,s00-0000", 1,
         "devices.cfg:12: The script applies power with 'begin' but does not end with 'end'."},
        {"temp=s09,checkflash,s00-0000", 1, nullptr},
        {"begin,setflashloop,checkflash=s09,loop,end", 1, nullptr},
        {"begin,checkflash=s09", 1,
         "devices.cfg:12: The script ends with the check 'checkflash=s09', which a failed check "
         "would run again."},
        {"begin,ifverify,setflashloop,checkflash=s09,loop,endverify,end", 1, nullptr},
        {"begin,ifverify,setflashloop,checkflash=s09,endverify,loop,end", 1,
         "devices.cfg:12: The loop that begins with 'setflashloop' crosses the edge of an "
         "'ifverify' block."},
        {"begin,ifverify,w,end", 1,
         "devices.cfg:12: The 'ifverify' block has no 'endverify' after it."},
        {"begin,endverify,end", 1,
         "devices.cfg:12: The word 'endverify' has no 'ifverify' before it."},
    };
    for (const Row& row : rows) {
        const auto problem = checkScript(decodeScript(row.script, {"devices.cfg", 12}),
                                         row.voltageSequence, {"devices.cfg", 5});
        if (row.problem)
            EXPECT_EQ(problem.value_or("accepted"), row.problem) << row.script;
        else
            EXPECT_FALSE(problem.has_value()) << row.script << ": " << *problem;
    }
    // A script without a single word would wait for a reply to nothing.
    EXPECT_EQ(checkScript(DeviceScript{{}, {"devices.cfg", 12}}, 1, {"devices.cfg", 5}),
              "devices.cfg:12: The script has no words.");
}

TEST(ScriptCheck, NamesTheModelAndRefusesAProgrammingTimeTheUnitCannotTake) {
    SelectedModelValues model;
    model.SelectedModelName = "18F452";
    model.VoltageSequence = 1;
    model.ProgTimeSource = {"devices.cfg", 7};
    const DeviceScript program = decodeScript("begin,setprogtime,end", {"devices.cfg", 12});
    for (const std::int32_t progTime : {0, -5, 31, 300}) {
        model.ProgTime = progTime;
        EXPECT_EQ(checkOperationScript(program, model).value_or("accepted"),
                  "devices.cfg:7: 18F452: The programming time of " + std::to_string(progTime) +
                      " ms is outside 1 to 30 ms.");
        EXPECT_FALSE(checkOperationScript(decodeScript("begin,end"), model).has_value());
    }
    model.ProgTime = 30;
    EXPECT_FALSE(checkOperationScript(program, model).has_value());
    EXPECT_EQ(checkOperationScript(decodeScript("begin,x,end", {"devices.cfg", 12}), model)
                  .value_or("accepted"),
              "devices.cfg:12: 18F452: Unrecognized symbolic instruction 'x'.");
}
