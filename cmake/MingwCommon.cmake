# Shared part of the MinGW-w64 toolchain files; TT_MINGW_TRIPLET is set by the
# including file. Compilers are looked up on PATH.
set(TT_MINGW_THREAD_MODEL "win32" CACHE STRING "MinGW-w64 thread model: win32 or posix")

set(CMAKE_C_COMPILER ${TT_MINGW_TRIPLET}-gcc-${TT_MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${TT_MINGW_TRIPLET}-g++-${TT_MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${TT_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TT_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TT_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# Headers and libraries from the target environment only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# add_test() commands that run one of our executables get this prefix, so that
# ctest runs them under Wine (the display and prefix come from the caller:
# scripts/win32/run-under-wine.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
