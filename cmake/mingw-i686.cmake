# Cross toolchain for the product: 32-bit Windows programs built with MinGW-w64 (i686).
# Needs the i686-w64-mingw32 compilers and windres on PATH (Debian: g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
