#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the Linux build, the
# same suite under AddressSanitizer + UndefinedBehaviorSanitizer, the Windows
# program under Wine, bounded fuzzing, and memcheck over the converter.
# Ends with CTest's summary of the Linux suite; the exit status is non-zero
# when any part failed.
#
#   scripts/test.sh                 # everything
#   TT_SKIP_WINDOWS=1 scripts/test.sh   # without the Windows build and Wine
#   TT_FUZZ_SECONDS=600 scripts/test.sh # longer fuzzing per target
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

failed=()
ms() { echo $(( $(date +%s%N) / 1000000 )); }
step() {  # step NAME COMMAND...: run, time, remember failures
  local name=$1; shift
  local t0; t0=$(ms)
  echo "== $name"
  if "$@"; then
    printf '== %s: ok (%d s)\n' "$name" $(( ($(ms) - t0) / 1000 ))
  else
    printf '== %s: FAILED (%d s)\n' "$name" $(( ($(ms) - t0) / 1000 ))
    failed+=("$name")
  fi
}

if [ -z "${TT_SKIP_WINDOWS:-}" ]; then
  scripts/setup.sh --windows || exit 1
else
  scripts/setup.sh || exit 1
fi

build() {  # build PRESET: configure and build, showing the log only on failure
  mkdir -p build
  local log=build/$1.log
  if cmake --preset "$1" >"$log" 2>&1 && cmake --build --preset "$1" -j"$jobs" >>"$log" 2>&1; then
    return 0
  fi
  tail -n 60 "$log"
  return 1
}
quiet_ctest() {  # the suite, printing only failures and the summary
  ctest --preset "$1" -j"$jobs" 2>&1 | grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed'
  return "${PIPESTATUS[0]}"
}

step "build (dev)" build dev
step "build (asan)" build asan
step "tests (asan)" quiet_ctest asan
if [ -z "${TT_SKIP_WINDOWS:-}" ] && [ -x scripts/win32/build-and-test.sh ]; then
  step "Windows program under Wine" scripts/win32/build-and-test.sh
fi
if [ -x fuzz/run.sh ]; then
  step "fuzzing (${TT_FUZZ_SECONDS:-60} s per target)" fuzz/run.sh
fi
if [ -x scripts/valgrind-cli.sh ]; then
  step "memcheck over smftempo" scripts/valgrind-cli.sh build/dev
fi

echo "== tests (dev)"
ctest --preset dev -j"$jobs"
status=$?
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  status=1
fi
exit $status
