# Our warning flags, for our own targets only: GoogleTest, Qt and system
# headers stay untouched. TT_WERROR turns them into errors (the dev and asan
# presets and CI do).
set(TT_GNU_WARNINGS
  -Wall -Wextra -Wpedantic
  -Wshadow              # a local hiding a field is how byte counts get mixed up
  -Wconversion          # narrowing of times, lengths and tempos must be explicit
  -Wsign-conversion
  -Wold-style-cast
  -Wnon-virtual-dtor)
add_library(tt_warnings INTERFACE)
target_compile_options(tt_warnings INTERFACE
  "$<$<CXX_COMPILER_ID:GNU,Clang>:${TT_GNU_WARNINGS}>"
  "$<$<AND:$<CXX_COMPILER_ID:GNU,Clang>,$<BOOL:${TT_WERROR}>>:-Werror>")

# Windows takes every narrow text in code page 932. Our sources are UTF-8; the
# Windows build stores their narrow literals as CP932 bytes (trail bytes 0x5C,
# as in ソ and 表, included). C++ only: the resource compiler reads the .rc
# as UTF-8 itself.
target_compile_options(tt_warnings INTERFACE
  "$<$<AND:$<PLATFORM_ID:Windows>,$<COMPILE_LANGUAGE:CXX>>:-finput-charset=UTF-8;-fexec-charset=CP932>")
