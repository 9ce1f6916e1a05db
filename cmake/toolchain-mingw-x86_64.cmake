# Cross-compiles the 64-bit Windows program with Debian's MinGW-w64 GCC
# (packages g++-mingw-w64-x86-64-win32 and binutils-mingw-w64-x86-64), for
# files too large for a 32-bit address space.
#
#   cmake --preset mingw-x86_64
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(TT_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwCommon.cmake)
