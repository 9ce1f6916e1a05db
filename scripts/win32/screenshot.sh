#!/usr/bin/env bash
# Takes a PNG of the Windows program's dialog under Wine and Xvfb, with a
# generated file loaded (150 BPM) and a new tempo typed (90).
#
#   scripts/win32/screenshot.sh [BUILD_DIR] [OUT.png]
#
# BUILD_DIR defaults to build/mingw-i686, the 32-bit program, or where this
# machine cannot run 32-bit programs (run-under-wine.sh --probe) to
# build/mingw-x86_64, the 64-bit one, which looks the same; the script says
# which it took. Build it first (cmake --preset P && cmake --build --preset P).
# OUT.png defaults to docs/win32-dialog.png. Needs x11-utils (xwininfo) and
# imagemagick (import) besides what run-under-wine.sh needs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ "${1:-}" = --inner ]; then
  build=$2
  out=$3
  wine "$build/app/win32/SorbelloSmfTempo.exe" &
  app=$!
  trap 'kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true' EXIT
  wine "$build/tests/win32/win32_program_test.exe" --screenshot
  wid=""
  for _ in $(seq 100); do  # up to 10 s for the dialog's X window (not the 1x1 IME one)
    wid=$(xwininfo -root -tree | awk 'tolower($0) ~ /"sorbellosmftempo\.exe"/ && !/ 1x1\+/ {print $1; exit}')
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "screenshot: dialog window not found" >&2; exit 1; }
  sleep 1  # let it paint
  import -window "$wid" "$out"
  echo "screenshot: $out" >&2
  exit 0
fi

if probe=$("$here/run-under-wine.sh" --probe); then
  export TT_WIN32_NO_32BIT=
  default=mingw-i686
else
  export TT_WIN32_NO_32BIT=$probe
  default=mingw-x86_64
fi
build=$(cd "${1:-$here/../../build/$default}" && pwd)
out=${2:-$here/../../docs/win32-dialog.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

# The prefix follows the program: its PE machine word (014c: i386) sits
# after "PE\0\0", whose offset is stored at 0x3C.
program=$build/app/win32/SorbelloSmfTempo.exe
pe=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
if [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$program" | tr -d ' ')" = 014c ]; then
  [ -z "$TT_WIN32_NO_32BIT" ] || {
    echo "screenshot: $program is a 32-bit program. $TT_WIN32_NO_32BIT: take the 64-bit build" >&2
    exit 1
  }
  export WINEARCH=win32
else
  export WINEARCH=win64
fi
echo "screenshot: $program ($WINEARCH prefix). $probe" >&2
exec "$here/run-under-wine.sh" "$0" --inner "$build" "$out"
