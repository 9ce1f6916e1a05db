# Cross-compiles the 32-bit Windows program with Debian's MinGW-w64 GCC
# (packages g++-mingw-w64-i686-win32 and binutils-mingw-w64-i686).
#
#   cmake --preset mingw-i686
#
# The win32 thread model is pinned so that the build does not depend on which
# alternative update-alternatives has chosen on the machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwCommon.cmake)
