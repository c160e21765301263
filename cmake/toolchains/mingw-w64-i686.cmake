# 32-bit Windows programs, built with MinGW-w64 (preset "windows-x86"): the
# Access driver of older Windows, "Microsoft Access Driver (*.mdb)", exists
# only for 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTROVA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
