#!/usr/bin/env bash
# Builds the fuzz preset, writes the generated seed corpus and runs each fuzz
# target for a bounded time; non-zero on any finding (crash, sanitizer report,
# leak, an input slower than 10 s, more than 2 GiB), whose input is kept.
#   TT_FUZZ_SECONDS (60) per target, or TT_FUZZ_RUNS executions; TT_FUZZ_JOBS
#   processes per target; TT_FUZZ_BUILD_DIR (build/fuzz); targets as arguments.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=${TT_FUZZ_JOBS:-1}
build=${TT_FUZZ_BUILD_DIR:-build/fuzz}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(smf_parse_fuzz pipeline_fuzz tempomap_fuzz)
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is missing (scripts/setup.sh installs clang and libclang-rt-14-dev)" >&2
  exit 1
fi
cmake --preset fuzz -B "$build" >/dev/null
if ! cmake --build "$build" -j"$(nproc)" >"$build/fuzz-build.log" 2>&1; then
  grep -E 'error|Error' "$build/fuzz-build.log" >&2 || tail -n 30 "$build/fuzz-build.log" >&2
  exit 1
fi
build=$(cd "$build" && pwd)
work="$build/fuzz-run"
mkdir -p "$work" && rm -rf "$work/seeds"
"$build/fuzz/smf_seeds" "$work/seeds"
bound=(-max_total_time="${TT_FUZZ_SECONDS:-60}")
[ -n "${TT_FUZZ_RUNS:-}" ] && bound=(-runs="$TT_FUZZ_RUNS")
parallel=()
[ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
status=0
for target in "${targets[@]}"; do
  log="$work/$target.log"
  # Larger inputs only slow the pipelines down; what they check fits in 1 KiB.
  max_len=16384
  [ "$target" != smf_parse_fuzz ] && max_len=1024
  mkdir -p "$work/corpus-$target"
  rm -f "$work/$target"-{crash,leak,timeout,oom,slow-unit}-*
  echo "fuzz: $target (${bound[0]#-}, $jobs process(es))"
  result=0
  (cd "$work" && "$build/fuzz/$target" "${bound[@]}" "${parallel[@]}" -max_len=$max_len \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$target-" \
    "corpus-$target" seeds) >"$log" 2>&1 || result=$?
  # With -jobs each process writes its own fuzz-N.log; gather their figures.
  cat "$work"/fuzz-*.log >>"$log" 2>/dev/null && rm -f "$work"/fuzz-*.log
  executed=$(grep -ohE 'stat::number_of_executed_units: *[0-9]+' "$log" |
    awk '{s += $2} END {print s + 0}')
  if [ $result -ne 0 ] || ls "$work/$target"-* >/dev/null 2>&1; then
    echo "fuzz: $target: FINDING after $executed executions; see $log" >&2
    grep -E 'fuzz finding|ERROR: |SUMMARY: ' "$log" | head -n 5 >&2 || true
    ls "$work/$target"-* 2>/dev/null | sed 's/^/fuzz: input kept: /' >&2 || true
    echo "fuzz: replay it with $build/fuzz/$target FILE" >&2
    status=1
  else
    echo "fuzz: $target: $executed executions, no finding"
  fi
done
exit $status
