#!/usr/bin/env bash
# Runs smftempo under valgrind's memcheck (leaks included) over the generated
# seed files: every kind of file the converter meets, valid and refused, and
# the command-line paths around them. Any memcheck error fails the run; so
# does an exit status other than the one each run must give.
#
#   scripts/valgrind-cli.sh [BUILD_DIR]   # default build/dev, already built
#
# memcheck reports through its own exit status 99, not 1: smftempo itself
# exits 1 for every refused file, which most of the seeds are meant to be.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build/dev}
cd "$root"

smftempo=$build/app/cli/smftempo
seeds_tool=$(find "$build" -type f -name smf_seeds -perm -u+x | head -n 1)
if [ ! -x "$smftempo" ] || [ -z "$seeds_tool" ]; then
  echo "valgrind-cli: build $build first (smftempo and smf_seeds)" >&2
  exit 1
fi
command -v valgrind >/dev/null || {
  echo "valgrind-cli: valgrind is missing (scripts/setup.sh installs it)" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$seeds_tool" "$work/seeds"
mkdir -p "$work/out"
seeds=("$work"/seeds/*.mid)
valid=$work/seeds/generated-1.mid

failed=0
check() {  # check EXPECTED_STATUS WHAT ARGS...: one run under memcheck
  local expected=$1 what=$2
  shift 2
  local status=0
  valgrind --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect,possible --show-leak-kinds=definite,indirect,possible \
    "$smftempo" "$@" >"$work/stdout" 2>"$work/stderr" || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "valgrind-cli: $what: exit status $status, expected $expected" >&2
    grep -E '^==[0-9]+==' "$work/stderr" | head -n 40 >&2 || tail -n 20 "$work/stderr" >&2
    failed=1
  else
    echo "valgrind-cli: $what: ok"
  fi
}

check 1 "--info over ${#seeds[@]} files, some refused" --info "${seeds[@]}"
check 1 "a batch over ${#seeds[@]} files, some refused" --bpm 87.5 --out-dir "$work/out" "${seeds[@]}"
check 1 "the batch again, outputs exist" --bpm 87.5 --out-dir "$work/out" "${seeds[@]}"
check 1 "the batch again with --force at the slowest tempo" \
  --bpm 3.5762787 --force --out-dir "$work/out" "${seeds[@]}"
check 1 "scale with the tracks kept, notes lengthened, JSON reports, a dry run" \
  --bpm 87.5 --tempo-map scale --keep-tracks --min-note 3 --json --dry-run "${seeds[@]}"
check 1 "flatten to a coarser grid, reported" \
  --bpm 133 --tempo-map flatten --division 24 --report --force --out-dir "$work/out" "${seeds[@]}"
check 1 "repaired, tracks and chunks kept, RMID written back, JSON reports" \
  --bpm 87.5 --repair --keep-tracks --keep-chunks --json --force --out-dir "$work/out" "${seeds[@]}"
check 0 "one file" --bpm 200 -o "$work/one.mid" "$valid"
check 0 "standard input to standard output" --bpm 200 -o - - <"$valid"
mkdir -p "$work/tree"
check 1 "a folder tree, mirrored" --bpm 87.5 -r --out-dir "$work/tree" "$work/seeds"
check 1 "a missing file" --bpm 200 -o "$work/two.mid" "$work/missing.mid"
check 1 "a folder as output" --bpm 200 --force -o "$work/out" "$valid"
check 2 "a tempo out of range" --bpm 1 -o "$work/three.mid" "$valid"
check 2 "a usage error" --bpm
check 0 "--help" --help
exit $failed
