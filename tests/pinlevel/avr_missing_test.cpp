// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

TEST(UnitFirmware, NeedsTheAvrToolchainAndSimulator) {
    GTEST_SKIP() << "the unit firmware's tests need the packages gcc-avr, avr-libc and "
                    "libsimavr-dev (scripts/setup-debian installs them)";
}
