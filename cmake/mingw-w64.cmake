# Cross-compiles for 64-bit Windows with mingw-w64, using the compilers with
# POSIX threads (std::thread and std::mutex, which GoogleTest needs):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OSTREL_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${OSTREL_MINGW_TRIPLE}-gcc-posix ${OSTREL_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${OSTREL_MINGW_TRIPLE}-g++-posix ${OSTREL_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${OSTREL_MINGW_TRIPLE}-windres windres REQUIRED)

# Headers, libraries and packages for Windows come from the cross sysroot, from
# the folders added to CMAKE_FIND_ROOT_PATH on the command line, or from a
# package's own <Package>_DIR; never from the build machine's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${OSTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
