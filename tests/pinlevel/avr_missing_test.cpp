// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

TEST(UnitFirmware, NeedsTheAvrToolchainAndSimulator) {
#ifdef _WIN32
    GTEST_SKIP() << "the unit firmware's tests run it in libsimavr, which is built on Linux "
                    "only";
#else
    GTEST_SKIP() << "the unit firmware's tests need the packages gcc-avr, avr-libc and "
                    "libsimavr-dev (scripts/setup-debian installs them)";
#endif
}
