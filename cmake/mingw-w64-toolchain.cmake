# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling the Qt-free core and its tests for 64-bit Windows with Debian's
# mingw-w64 (g++-mingw-w64-x86-64-posix: the POSIX thread model, which std::thread and
# std::mutex need), linked statically so that a program needs no DLL beside it; the tests
# run under Wine (wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESSALINE_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER ${TESSALINE_MINGW_TRIPLET}-g++-posix REQUIRED)
# GoogleTest's project enables C as well.
find_program(CMAKE_C_COMPILER ${TESSALINE_MINGW_TRIPLET}-gcc-posix REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/${TESSALINE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The test programs run under Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run ${CMAKE_BINARY_DIR}/wine)
# Wine shows the root of the build machine as drive Z:, so that a path the build knows
# names the same file in a test program as Z:/path.
set(TESSALINE_TEST_PATH_PREFIX Z:)
