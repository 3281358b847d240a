# What a Windows build adds: test programs run under Wine from this Linux
# machine, the Qt libraries and plugins beside the programs, and the installer.

# CTest starts every test program through cmake/wine-run.sh, which finds Qt's
# and MinGW's libraries for Wine and keeps Wine's own prefix in the build folder.
get_filename_component(KVD_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE KVD_STDCXX_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(KVD_MINGW_RUNTIME "${KVD_STDCXX_DLL}" DIRECTORY)
find_file(KVD_WINPTHREAD_DLL libwinpthread-1.dll
          PATHS /usr/x86_64-w64-mingw32/lib NO_CMAKE_FIND_ROOT_PATH REQUIRED)
get_filename_component(KVD_WINPTHREAD_DIR "${KVD_WINPTHREAD_DLL}" DIRECTORY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

enable_language(RC)

# The installed programs, with the libraries and plug-ins they load, go into
# program\; bin\, which the installers put on PATH, holds only the two
# launchers (app/PathLauncher.cpp): no library of ours is found through PATH.
set(CMAKE_INSTALL_BINDIR program)
