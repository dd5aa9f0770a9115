# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads
# variant: the win32 variant has no std::thread / std::mutex). Binaries are
# linked statically so that they import system DLLs only, and CTest runs
# them under Wine (scripts/wine-run.sh, with a prefix inside the build dir).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEMO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEMO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEMO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEMO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEMO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The wrapper takes the Wine prefix as its first argument; every test of one
# build tree shares the prefix (and the wineserver scripts/test-windows.sh
# keeps running for it).
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
