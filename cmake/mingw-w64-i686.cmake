# Cross-compiles the release for 32-bit Windows with Debian's MinGW-w64.
#
# The compilers of the win32 threads model are used on purpose: the posix
# model links winpthreads into every C++ program, and winpthreads imports
# GetTickCount64, which Windows XP lacks, so no program of that model loads
# there. This model has no std::thread, std::mutex or
# std::condition_variable; threads go through the platform layer instead.
# Test programs built with this toolchain run under Wine through the
# emulator below (Wine needs its 32-bit part, wine32, for them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static C and C++ runtimes: the programs need no DLL beyond those Windows ships.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
