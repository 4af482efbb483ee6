# Cross-compiles Kiln for 64-bit Windows with Debian's mingw-w64 (POSIX thread model, so
# std::thread and std::mutex work) and runs the Windows programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KILN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KILN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KILN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KILN_MINGW_TRIPLE}-windres)

# Headers and libraries of the target only; programs (Wine, code generators) of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KILN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The test programs and the GoogleTest discovery run through Wine.
find_program(KILN_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KILN_WINE})

# No runtime DLLs to ship or for Wine to find: libgcc, libstdc++ and winpthread are
# linked into every program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
