# 64-bit Windows programs, built with MinGW-w64 (preset "windows").
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTROVA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
