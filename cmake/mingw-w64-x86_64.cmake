# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DUPLEXA_MINGW_PREFIX x86_64-w64-mingw32)

# Debian ships two thread models. The posix one is preferred: GoogleTest needs
# std::mutex, which GCC 12's win32 model lacks. It links winpthreads into the
# .exe, whose notice the package carries (cmake/win32.cmake).
find_program(DUPLEXA_MINGW_CXX NAMES ${DUPLEXA_MINGW_PREFIX}-g++-posix ${DUPLEXA_MINGW_PREFIX}-g++-win32 ${DUPLEXA_MINGW_PREFIX}-g++ REQUIRED)
find_program(DUPLEXA_MINGW_CC NAMES ${DUPLEXA_MINGW_PREFIX}-gcc-posix ${DUPLEXA_MINGW_PREFIX}-gcc-win32 ${DUPLEXA_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${DUPLEXA_MINGW_CXX})
set(CMAKE_C_COMPILER ${DUPLEXA_MINGW_CC})
set(CMAKE_RC_COMPILER ${DUPLEXA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DUPLEXA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, so the .exe needs no MinGW DLLs beside it
# (libstdc++, libgcc, winpthread).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built test programs run under Wine, in the build tree's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/win32/wine-run.sh)
