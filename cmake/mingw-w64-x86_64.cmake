# Cross-building for 64-bit Windows on Debian with MinGW-w64 (the posix thread model, which
# std::thread and std::mutex need). Everything is linked statically, so the programs need no DLL
# that Windows does not ship.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NUKITORI_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NUKITORI_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NUKITORI_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NUKITORI_MINGW_TRIPLE}-windres)

# Headers and libraries only from the MinGW tree: the build machine's /usr/include and /usr/lib
# hold Linux ones (GTest, zlib, X11) that must never reach a Windows build. Programs (Python,
# Wine) are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${NUKITORI_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread inside the executables; zlib's static library as well.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
