#!/usr/bin/env bash
# The tempo-map conversions against the plain one, end to end in smftempo, on
# the same file in the same run: the runs alternate (plain, flatten, scale,
# ...) so that a busy machine weighs on each alike, and each mode's fastest
# CPU time (user + system) and wall time are shown with their ratio to the
# plain conversion's. Figures only.
#
#   bench/modes.sh [FILE]
#
# FILE defaults to the 45M-event file of compare.sh, made in a temporary
# folder (about 160 MB). Environment: BUILD=build/release, REPEAT=3,
# EXTRA="--report" (added to every mode but the first plain one).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build/release}
repeat=${REPEAT:-3}
extra=${EXTRA:-}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset release -S "$root" -DTT_BUILD_TESTS=OFF -DTT_BUILD_QT=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target smftempo smfgen >/dev/null
file=${1:-$tmp/45m.mid}
if [ ! -f "$file" ]; then
  echo "== generating $file" >&2
  "$build/bench/smfgen" --tracks 1000 --events 45000000 --seed 3 "$file" >&2
fi

# name|options: the plain conversion first, then each mode with EXTRA.
modes=("plain|" "flatten|--tempo-map flatten $extra" "scale|--tempo-map scale $extra")
[ -n "$extra" ] && modes+=("plain+extra|$extra")
: >"$tmp/rows"
for ((i = 0; i < repeat; i++)); do
  for mode in "${modes[@]}"; do
    # shellcheck disable=SC2086
    /usr/bin/time -f "%U %S %e" -o "$tmp/time" "$build/app/cli/smftempo" --bpm 90 --force \
      ${mode#*|} -o "$tmp/out.mid" "$file" >/dev/null
    read -r user sys wall <"$tmp/time"
    echo "${mode%%|*} $user $sys $wall" >>"$tmp/rows"
  done
done
echo "smftempo --bpm 90 on $file, fastest of $repeat alternating runs, load $(cut -d' ' -f1-3 /proc/loadavg)"
awk '
  { cpu = $2 + $3
    if (!($1 in best) || cpu < best[$1]) best[$1] = cpu
    if (!($1 in wall) || $4 < wall[$1]) wall[$1] = $4
    if (!($1 in seen)) { order[n++] = $1; seen[$1] = 1 } }
  END {
    printf "%-12s %8s %8s %8s %8s\n", "mode", "CPU s", "x plain", "wall s", "x plain"
    for (i = 0; i < n; i++) { k = order[i]
      printf "%-12s %8.2f %8.2f %8.2f %8.2f\n", k, best[k], best[k] / best["plain"], wall[k], wall[k] / wall["plain"] }
  }' "$tmp/rows"
