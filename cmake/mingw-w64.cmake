# Cross-compiles for 64-bit Windows with Debian's MinGW-w64. The "posix" thread variant is
# the one whose C++ library has std::thread and std::mutex (GoogleTest needs them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVALE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVALE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVALE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVALE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVALE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static programs: they run on a bare Windows (or Wine) without the MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and test discovery run the programs through Wine when it is there.
find_program(QUORVALE_WINE NAMES wine wine64 wine-stable)
if(QUORVALE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVALE_WINE})
endif()
