# The part of the MinGW-w64 toolchain files both architectures share. The posix thread model's
# compilers are used: their standard library has std::thread and std::mutex.
set(CMAKE_C_COMPILER ${LAUNCHER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LAUNCHER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LAUNCHER_MINGW_TRIPLE}-windres)
# LAUNCHER_WINDOWS_DEPS: the prefixes of the static libraries scripts/build-windows made.
set(CMAKE_FIND_ROOT_PATH /usr/${LAUNCHER_MINGW_TRIPLE} ${LAUNCHER_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
