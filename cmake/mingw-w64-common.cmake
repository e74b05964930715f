# Shared part of the MinGW-w64 toolchain files. The -posix compilers are needed:
# the -win32 ones lack std::mutex, which GoogleTest uses.
set(CMAKE_C_COMPILER ${TANDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TANDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TANDREL_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TANDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The C and C++ runtimes linked in, so only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The program's entry point is wmain.
set(TANDREL_WMAIN_LINK_OPTIONS -municode)

set(TANDREL_OBJDUMP ${TANDREL_MINGW_TRIPLE}-objdump)

# Every program the tests start runs under Wine, in a prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run ${TANDREL_WINE} ${TANDREL_WINEARCH})
