# Shared by the MinGW-w64 toolchain files: set OVEL_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)
# The -posix compilers have the C++ thread support GoogleTest needs; every
# program is linked statically, so no MinGW runtime DLL is needed.
set(CMAKE_C_COMPILER ${OVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OVEL_MINGW_TRIPLE}-windres)
set(CMAKE_C_COMPILER_TARGET ${OVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${OVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine (scripts/wine-run picks 32- or 64-bit Wine).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
