# Cross build of the 32-bit Windows program with MinGW-w64; tests run under Wine in a 64-bit
# prefix, as the program mostly runs: on 64-bit Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TANDREL_MINGW_TRIPLE i686-w64-mingw32)
set(TANDREL_WINE wine)
set(TANDREL_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
