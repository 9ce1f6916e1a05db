#!/bin/sh
# Takes a screenshot of the desktop dialog with a file loaded, under Xvfb.
#
#   scripts/qt/screenshot.sh [OUT.png]      (default: docs/qt-dialog.png)
#
# Needs cmake, Qt 6 Widgets, xvfb-run and a Japanese font (Debian:
# qt6-base-dev xvfb xauth fonts-ipafont-gothic). Builds into build/screenshot.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/docs/qt-dialog.png}
build=$root/build/screenshot

for tool in cmake xvfb-run fc-list; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool not found" >&2; exit 1; }
done
if [ -z "$(fc-list :lang=ja family)" ]; then
  echo "screenshot.sh: no Japanese font installed (e.g. apt-get install fonts-ipafont-gothic)" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTT_BUILD_TESTS=OFF \
  -DTT_BUILD_BENCH=OFF -DTT_BUILD_QT=ON >/dev/null
cmake --build "$build" --target smftempo-gui-screenshot -j "$(nproc)" >/dev/null

# A small format-1 file at 120 BPM (tempo 500000 us), two tracks, with a
# Japanese name so that the path field shows Japanese too.
work=${TMPDIR:-/tmp}/smftempo-screenshot
rm -rf "$work"
mkdir -p "$work/曲"
trap 'rm -rf "$work"' EXIT
sample="$work/曲/サンプル.mid"
printf 'MThd\000\000\000\006\000\001\000\002\001\340' >"$sample"
printf 'MTrk\000\000\000\013\000\377\121\003\007\241\040\000\377\057\000' >>"$sample"
printf 'MTrk\000\000\000\015\000\220\074\144\203\140\200\074\000\000\377\057\000' >>"$sample"

mkdir -p "$(dirname "$out")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/app/qt/smftempo-gui-screenshot" "$out" "$sample" 96
echo "$out"
