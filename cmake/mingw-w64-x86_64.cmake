# mingw-w64-x86_64.cmake - cross-builds the 64-bit Windows console programs with Debian's
# mingw-w64 compilers (the posix thread model, for C++ threads).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KERF_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KERF_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KERF_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KERF_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KERF_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static C and C++ run-time libraries: the programs then import only system DLLs and run on a
# bench PC from any folder, with nothing installed beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
