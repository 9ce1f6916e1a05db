#!/usr/bin/env bash
# Builds the Windows program with MinGW-w64 and runs its tests under Wine,
# headless, each architecture in a fresh temporary Wine prefix: first the
# 64-bit build (skipped with TT_WIN32_SKIP_64=1), then the 32-bit program,
# whose CTest summary ends the output. Exit status non-zero when a build or a
# test failed.
#
#   scripts/win32/build-and-test.sh
#
# First it asks whether this machine can run 32-bit programs (one line in the
# log; see run-under-wine.sh). Where it cannot, the 64-bit suite runs under
# Wine's 64-bit loader, and the 32-bit program is still built: its image (PE
# headers, dialog template, texts) is checked by the 64-bit build's test
# program, and its tests that must run it show in CTest's summary as skipped,
# with the reason after it. TT_WIN32_ASSUME_NO_32BIT=1 takes that path here.
#
# On Debian 12 as root it installs what is missing first (non-interactive,
# idempotent). Build folders: build/mingw-x86_64 and build/mingw-i686. Last,
# the zip of both programs (scripts/win32/package.sh).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root" || exit 1

packages=(
  cmake
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32  # GCC 12, win32 threads, windres
  wine wine32:i386 wine64  # Wine 8: 32-bit and 64-bit prefixes
  xvfb xauth               # xvfb-run: a private X server
  locales                  # ja_JP.UTF-8, from which Wine takes code page 932
  fonts-ipafont-gothic     # Japanese glyphs for the dialog font
  fonts-wine               # glyphs of the caption buttons
)
fail() {
  echo "build-and-test: $*" >&2
  exit 1
}
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ||
  fail "dpkg --add-architecture i386 failed: the packages wine32:i386 needs cannot be installed"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "build-and-test: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || fail "apt-get update failed (exit status $?)"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    fail "apt-get install ${missing[*]} failed (exit status $?)"
fi

# One probe, before anything runs under Wine; the nested runs take its answer
# from TT_WIN32_NO_32BIT (empty: they can).
if probe=$(scripts/win32/run-under-wine.sh --probe); then
  export TT_WIN32_NO_32BIT=
else
  export TT_WIN32_NO_32BIT=$probe
fi
echo "build-and-test: $probe"

ms() { echo $(( $(date +%s%N) / 1000000 )); }
status=0

build() {  # build PRESET: configure and build, the log shown only on failure
  local t0 log=build/$1.log
  t0=$(ms)
  mkdir -p build
  if cmake --preset "$1" >"$log" 2>&1 && cmake --build --preset "$1" -j"$(nproc)" >>"$log" 2>&1; then
    printf 'build-and-test: %s built in %d s\n' "$1" $(( ($(ms) - t0) / 1000 ))
    return 0
  fi
  tail -n 60 "$log"
  echo "build-and-test: $1: build FAILED" >&2
  return 1
}

run_tests() {  # run_tests PRESET WINEARCH: the suite under Wine in a fresh prefix
  local t0 rc
  t0=$(ms)
  env -u WINEPREFIX WINEARCH="$2" scripts/win32/run-under-wine.sh \
    ctest --preset "$1" --timeout 180 2>&1
  rc=$?
  printf 'build-and-test: %s tests ran in %d s\n' "$1" $(( ($(ms) - t0) / 1000 ))
  return $rc
}

if [ -z "${TT_WIN32_SKIP_64:-}" ]; then
  if build mingw-x86_64; then
    run_tests mingw-x86_64 win64 || status=1
  else
    status=1
  fi
fi
if [ -z "$TT_WIN32_NO_32BIT" ]; then
  if build mingw-i686; then
    run_tests mingw-i686 win32 || status=1
  else
    status=1
  fi
else
  # The 32-bit image is read as data by the 64-bit build's test program, in
  # the same kind of prefix as the 64-bit suite.
  if [ -z "${TT_WIN32_SKIP_64:-}" ]; then
    export TT_WIN32_IMAGE_CHECKER=$root/build/mingw-x86_64/tests/win32/win32_program_test.exe
  fi
  if build mingw-i686; then
    run_tests mingw-i686 win64 || status=1
  else
    status=1
  fi
  echo "build-and-test: mingw-i686: the tests that run the 32-bit program were skipped:" \
    "$TT_WIN32_NO_32BIT"
fi
# The zip of both programs, made and checked (it needs the 64-bit build too).
if [ -z "${TT_WIN32_SKIP_64:-}" ]; then
  scripts/win32/package.sh || status=1
fi
exit $status
