#!/usr/bin/env bash
# Runs the tempo change (load, merge, rescale to 90 BPM, write format 0) with
# smftempo, the flat-array yardstick ideal.cpp and python3-mido on the same
# generated files, in one run, and prints one table; then smfbench's stages
# for each file. Figures only: nothing here passes or fails on time.
#
#   bench/compare.sh [DIR]
#
# DIR holds the generated files (default: a temporary folder, removed at the
# end; the 45M-event file alone is about 160 MB); a file already there under
# its name (small.mid, 4m.mid, 45m.mid) is used as it is. Environment:
#   BUILD=build/release   release build to use (configured and built here)
#   IDEAL_SRC=../shared/bench/ideal.cpp
#   SIZES="small 4m 45m"  which files to run
#   REPEAT=1              runs per program and file; the fastest is shown
#   MIDO=1                0 skips python3-mido (it runs on small and 4m only)
#   THP=                  "never": every program runs with transparent huge pages
#                         switched off for it (prctl PR_SET_THP_DISABLE), as on a
#                         system whose setting is "never"
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build/release}
ideal_src=${IDEAL_SRC:-$root/../shared/bench/ideal.cpp}
sizes=${SIZES:-small 4m 45m}
repeat=${REPEAT:-1}
mido=${MIDO:-1}
thp=${THP:-}
bpm=90

tmp=$(mktemp -d)
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT
if [ $# -ge 1 ]; then
  dir=$1
  mkdir -p "$dir"
else
  dir=$tmp/files
  mkdir -p "$dir"
fi

echo "== building (release) in $build" >&2
if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/release" ]; then
    cmake --preset release -S "$root" -DTT_BUILD_TESTS=OFF -DTT_BUILD_QT=OFF >/dev/null
  else
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTT_BUILD_TESTS=OFF \
      -DTT_BUILD_QT=OFF >/dev/null
  fi
fi
cmake --build "$build" -j "$(nproc)" --target smftempo smfgen smfbench >/dev/null
smftempo=$build/app/cli/smftempo
smfgen=$build/bench/smfgen
smfbench=$build/bench/smfbench

echo "== building ideal.cpp from $ideal_src" >&2
[ -f "$ideal_src" ] || { echo "compare: no $ideal_src (set IDEAL_SRC)" >&2; exit 1; }
g++ -O2 -std=c++17 -o "$tmp/ideal" "$ideal_src"
ideal=$tmp/ideal

# Runs its arguments with transparent huge pages off (inherited across exec).
wrap=()
if [ "$thp" = never ]; then
  cat >"$tmp/nothp.cpp" <<'EOF'
#include <sys/prctl.h>
#include <unistd.h>
#include <cstdio>
int main(int argc, char** argv) {
  if (argc < 2 || prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
    std::perror("nothp");
    return 127;
  }
  execv(argv[1], argv + 1);
  std::perror("nothp");
  return 127;
}
EOF
  g++ -O2 -o "$tmp/nothp" "$tmp/nothp.cpp"
  wrap=("$tmp/nothp")
elif [ -n "$thp" ]; then
  echo "compare: THP is \"never\" or empty" >&2
  exit 2
fi

if [ "$mido" = 1 ] && ! /usr/bin/python3 -c 'import mido' 2>/dev/null; then
  echo "compare: python3-mido is not installed; its rows are skipped" >&2
  mido=0
fi
# The same job in mido: merge the tracks, rescale every time, new tempo.
cat >"$tmp/mido_job.py" <<'EOF'
import sys
import mido

bpm, src, dst = float(sys.argv[1]), sys.argv[2], sys.argv[3]
mid = mido.MidiFile(src)
merged = mido.merge_tracks(mid.tracks)
old = 500000
for msg in merged:
    if msg.type == 'set_tempo':
        old = msg.tempo
        break
new = int(60000000 / bpm)
out = mido.MidiTrack()
now = 0
last = 0
for msg in merged:
    now += msg.time
    t = int(now * old / new + 0.5)
    if msg.type == 'set_tempo':
        msg = msg.copy(tempo=new)
    out.append(msg.copy(time=t - last))
    last = t
result = mido.MidiFile(type=0, ticks_per_beat=mid.ticks_per_beat)
result.tracks.append(out)
result.save(dst)
EOF

# file name, smfgen arguments
size_params() {
  case $1 in
    small) echo "small.mid --tracks 16 --events 100000 --seed 1" ;;
    4m) echo "4m.mid --tracks 64 --events 4000000 --seed 2" ;;
    45m) echo "45m.mid --tracks 1000 --events 45000000 --seed 3" ;;
    *) echo "compare: unknown size $1" >&2; exit 2 ;;
  esac
}

# run LABEL COMMAND...: fastest of $repeat runs; prints its "seconds user system
# minor-faults major-faults" and the highest peak of all runs, "KiB"
run() {
  local best="" line="" kib=0 i
  shift
  for ((i = 0; i < repeat; i++)); do
    /usr/bin/time -f "%e %U %S %R %F %M" -o "$tmp/time" "${wrap[@]}" "$@" >/dev/null 2>"$tmp/err" || {
      echo "failed"
      return
    }
    read -r s u y r f k <"$tmp/time"
    if [ -z "$best" ] || awk "BEGIN{exit !($s < $best)}"; then
      best=$s
      line="$s $u $y $r $f"
    fi
    [ "$k" -gt "$kib" ] && kib=$k
  done
  echo "$line $kib"
}

rows=$tmp/rows
: >"$rows"
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
for size in $sizes; do
  read -r name args <<<"$(size_params "$size")"
  file=$dir/$name
  if [ ! -f "$file" ]; then
    echo "== generating $file" >&2
    # shellcheck disable=SC2086
    "$smfgen" $args "$file" >&2
  fi
  read -r -a ideal_run <<<"$(run ideal "$ideal" -v $bpm "$file" "$tmp/ideal.mid")"
  # ideal -v counts the events as the reader does, end-of-track events included.
  events=$(sed -nE 's/^in_events ([0-9]+) .*/\1/p' "$tmp/err")
  echo "== $name: $events events" >&2
  read -r -a ours_run <<<"$(run smftempo "$smftempo" --bpm $bpm --force -o "$tmp/ours.mid" "$file")"
  same=differs
  cmp -s "$tmp/ideal.mid" "$tmp/ours.mid" && same=same
  echo "$name $events ideal.cpp ${ideal_run[*]} -" >>"$rows"
  echo "$name $events smftempo ${ours_run[*]} $same" >>"$rows"
  rm -f "$tmp/ideal.mid" "$tmp/ours.mid"
  if [ "$mido" = 1 ] && [ "$size" != 45m ]; then
    read -r -a mido_run <<<"$(run mido /usr/bin/python3 "$tmp/mido_job.py" $bpm "$file" "$tmp/mido.mid")"
    echo "$name $events python3-mido ${mido_run[*]} -" >>"$rows"
    rm -f "$tmp/mido.mid"
  fi
done

echo
echo "Tempo change to $bpm BPM, process start to exit (fastest of $repeat), one run, $(nproc) cores"
echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unknown)${thp:+, switched off for every program (THP=never)}"
echo "load average at the start: $load_start; at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
# Rows: file events program seconds user system minor-faults major-faults KiB same;
# faults are minor and major together, per million events in flt/Mev
awk '
  BEGIN {
    printf "%-9s %9s  %-12s %8s %7s %7s %7s %9s %7s %8s %9s %7s  %s\n", "file", "events", \
      "program", "seconds", "x ideal", "user s", "sys s", "peak MiB", "B/event", "faults", \
      "flt/Mev", "x ideal", "output = ideal"
  }
  {
    if ($3 == "ideal.cpp") { ideal[$1] = $4; faults[$1] = $7 + $8 }
    r = (ideal[$1] > 0) ? sprintf("%.2f", $4 / ideal[$1]) : "-"
    f = (faults[$1] > 0) ? sprintf("%.2f", ($7 + $8) / faults[$1]) : "-"
    printf "%-9s %9d  %-12s %8.2f %7s %7.2f %7.2f %9.1f %7.1f %8d %9.0f %7s  %s\n", $1, $2, $3, \
      $4, r, $5, $6, $9 / 1024, $9 * 1024 / $2, $7 + $8, ($7 + $8) * 1e6 / $2, f, $10
  }' "$rows"

echo
echo "smfbench stages (ns/event should stay about the same across the sizes)"
for size in $sizes; do
  read -r name _ <<<"$(size_params "$size")"
  echo "-- $name"
  "${wrap[@]}" "$smfbench" --bpm $bpm "$dir/$name" "$tmp/bench.mid"
  rm -f "$tmp/bench.mid"
done
