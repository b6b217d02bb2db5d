# Cross-builds Tidewell for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, which has std::thread, std::jthread and std::stop_token).
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs are linked statically: they need no MinGW DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIDEWELL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TIDEWELL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDEWELL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDEWELL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TIDEWELL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
