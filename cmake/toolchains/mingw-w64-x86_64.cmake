# Cross-compiles for Windows x64 with Debian's mingw-w64 toolchain (posix threads) and runs the
# programs it builds (tests, test discovery) through wine.
#
# KESTREL_WINDOWS_DEPS: a prefix with the Windows builds of the test and tool dependencies
# (GoogleTest, and the header-only CLI11 and nlohmann_json), searched like the toolchain's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(kestrel_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${kestrel_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${kestrel_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${kestrel_mingw}-windres)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTREL_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${kestrel_mingw} ${KESTREL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs and DLLs: no libstdc++-6.dll, libgcc_s_seh-1.dll or
# libwinpthread-1.dll beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Debian ships the 64-bit loader here (there is no /usr/bin/wine64).
find_program(KESTREL_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT KESTREL_WINE)
  find_program(KESTREL_WINE NAMES wine64 wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTREL_WINE})
