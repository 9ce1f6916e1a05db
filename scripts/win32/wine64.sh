#!/bin/sh
# The `wine` of machines that cannot run 32-bit x86 programs: run-under-wine.sh
# puts it first on the command's PATH there. It calls Wine's 64-bit loader
# directly, since Debian's wrapper would start the 32-bit one. A 32-bit
# program is not started at all: it is declined with exit status 77, which
# CTest counts as a skip, and the reason.
loader=/usr/lib/wine/wine64

# A PE file's machine is the 16-bit word after "PE\0\0", whose offset is
# stored at 0x3C; 014c is i386.
if [ -f "$1" ] && [ "$(head -c 2 "$1")" = MZ ]; then
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  if [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" = 014c ]; then
    echo "skipped: $1 is a 32-bit program. ${TT_WIN32_NO_32BIT:-32-bit programs cannot run here}"
    exit 77
  fi
fi
export WINELOADER=$loader
exec "$loader" "$@"
