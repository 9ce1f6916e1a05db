#!/usr/bin/env bash
# The Windows zip: the 32-bit program in x86/, the 64-bit one in x64/, a
# Japanese read-me and the licence (packaging/), then checked: both programs
# there, each with the right machine in its PE header, the read-me in UTF-8
# with a byte order mark and CRLF line ends, as Notepad wants them.
#
#   scripts/win32/package.sh   # -> build/mingw-i686/SorbelloSmfTempo-VERSION-windows.zip
#
# Builds what is missing in build/mingw-x86_64 and build/mingw-i686 first
# (the programs only); scripts/win32/build-and-test.sh runs it after the tests.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
fail() {
  echo "package: $*" >&2
  exit 1
}

mkdir -p build
for preset in mingw-x86_64 mingw-i686; do
  log=build/$preset-package.log
  { cmake --preset $preset && cmake --build --preset $preset -j"$(nproc)" --target tt_win32_app; } \
    >"$log" 2>&1 || { tail -n 40 "$log"; fail "$preset: build failed"; }
done
rm -f build/mingw-i686/SorbelloSmfTempo-*-windows.zip
cpack --preset windows-zip >build/windows-zip.log 2>&1 || { cat build/windows-zip.log; fail "cpack failed"; }
zip=$(echo build/mingw-i686/SorbelloSmfTempo-*-windows.zip)
[ -f "$zip" ] || fail "cpack made no zip"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$root/$zip") || fail "$zip: cannot unpack"
top=$scratch/$(basename "$zip" .zip)
machine() {  # the PE header's machine field: the header's offset is at 0x3C
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1")
  od -An -tx1 -j$((offset + 4)) -N2 "$1" | tr -d ' \n'
}
for pair in x86:4c01 x64:6486; do
  exe=$top/${pair%:*}/SorbelloSmfTempo.exe
  [ -f "$exe" ] || fail "$zip: no ${pair%:*}/SorbelloSmfTempo.exe"
  [ "$(machine "$exe")" = "${pair#*:}" ] || fail "$zip: ${pair%:*}/SorbelloSmfTempo.exe: machine $(machine "$exe")"
done
for text in readme.txt LICENSE.txt; do
  [ "$(head -c3 "$top/$text" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "$zip: $text: no UTF-8 byte order mark"
  ! grep -qv $'\r$' "$top/$text" || fail "$zip: $text: a line without CRLF"
done
grep -q 'x64\\SorbelloSmfTempo.exe' "$top/readme.txt" || fail "$zip: readme.txt names no x64 program"
echo "package: $zip: x86/ and x64/ programs, readme.txt, LICENSE.txt"
