# Cross build of the 64-bit Windows program with MinGW-w64; tests run under 64-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TANDREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(TANDREL_WINE wine64)
set(TANDREL_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
