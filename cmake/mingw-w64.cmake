# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads
# variant, which Qt needs). The Windows Qt is found through CMAKE_PREFIX_PATH,
# which scripts/windows.sh sets to its cached build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KVD_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KVD_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KVD_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KVD_MINGW}-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KVD_MINGW} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
