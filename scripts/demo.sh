#!/usr/bin/env bash
# The tool's main job, end to end: build smftempo, make a small multi-track
# sample SMF with the project's own generator, convert it to a new BPM and
# show the file before and after. Needs a compiler, CMake and two header-only
# libraries, which it installs when they are missing (root only then).
#
#   scripts/demo.sh [BPM]      # default 100
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bpm=${1:-100}

scripts/setup.sh --cli
cmake --preset cli >/dev/null
cmake --build --preset cli -j"$(nproc)" >/dev/null

out=build/demo
mkdir -p "$out"
build/cli/bench/smfgen --format 1 --tracks 4 --events 2000 --seed 7 "$out/sample.mid" >/dev/null
smftempo=build/cli/app/cli/smftempo

echo "\$ smftempo --info $out/sample.mid"
"$smftempo" --info "$out/sample.mid"
echo "\$ smftempo --bpm $bpm --force -o $out/sample-$bpm.mid $out/sample.mid"
"$smftempo" --bpm "$bpm" --force -o "$out/sample-$bpm.mid" "$out/sample.mid"
echo "\$ smftempo --info $out/sample-$bpm.mid"
"$smftempo" --info "$out/sample-$bpm.mid"
