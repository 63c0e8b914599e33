# Cross toolchain for a 64-bit build of the same programs, for running the wine tests on
# hosts whose kernel cannot execute 32-bit code (wine64 only). Not the shipped product.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
