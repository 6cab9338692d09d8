# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling for the ATmega328P of the reference programmer unit with Debian's
# gcc-avr, binutils-avr and avr-libc.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR avr)
find_program(CMAKE_CXX_COMPILER avr-g++ REQUIRED)
find_program(CMAKE_C_COMPILER avr-gcc REQUIRED)
find_program(TESSALINE_AVR_OBJCOPY avr-objcopy REQUIRED)
find_program(TESSALINE_AVR_SIZE avr-size REQUIRED)
# The compiler cannot link a program without knowing the part: test it as a library.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
