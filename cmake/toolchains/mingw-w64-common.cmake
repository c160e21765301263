# What both Windows toolchains share. The including file sets
# KESTROVA_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
#
# The posix-thread compilers: the win32-thread ones have no std::thread or
# std::mutex. Everything is linked statically, so each program is one .exe
# that needs no DLL beyond those Windows has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KESTROVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# SQLite and googletest built for Windows by tools/windows-deps.sh; the
# MinGW runtime's own libraries (odbc32 among them) beside them. Nothing is
# taken from the build machine's own /usr.
get_filename_component(_kestrova_source "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(KESTROVA_WINDOWS_DEPS "${_kestrova_source}/build/windows-deps/${CMAKE_SYSTEM_PROCESSOR}"
    CACHE PATH "Where tools/windows-deps.sh installed SQLite and googletest for this Windows build")
set(CMAKE_FIND_ROOT_PATH "${KESTROVA_WINDOWS_DEPS}" "/usr/${KESTROVA_MINGW_TRIPLE}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the programs under Wine, through tools/wine-run.sh (which keeps
# Wine's lingering helpers off CTest's pipes). The prefix is the one
# WINEPREFIX names when CTest starts: tools/wine-ctest.sh makes a fresh one
# for each run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${_kestrova_source}/tools/wine-run.sh)
