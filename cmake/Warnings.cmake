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
