#!/usr/bin/env bash
# Takes a PNG of the Windows program's dialog under Wine and Xvfb, with a
# generated file loaded (150 BPM) and a new tempo typed (90).
#
#   scripts/win32/screenshot.sh [BUILD_DIR] [OUT.png]
#
# BUILD_DIR defaults to build/mingw-i686 (cmake --preset mingw-i686 and
# cmake --build --preset mingw-i686 first), OUT.png to docs/win32-dialog.png.
# Needs x11-utils (xwininfo) and imagemagick (import) besides what
# run-under-wine.sh needs.
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

build=$(cd "${1:-$here/../../build/mingw-i686}" && pwd)
out=${2:-$here/../../docs/win32-dialog.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
exec "$here/run-under-wine.sh" "$0" --inner "$build" "$out"
