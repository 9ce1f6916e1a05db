#!/usr/bin/env bash
# Runs a command for the cross-built Windows program under Wine, headless:
# a private X server (xvfb-run), the ja_JP.UTF-8 locale (Wine takes code page
# 932 from it), Wine's debug output off and, unless WINEPREFIX names an
# existing prefix, a fresh temporary prefix that is removed afterwards.
#
#   scripts/win32/run-under-wine.sh ctest --test-dir build/mingw-i686 --output-on-failure
#   scripts/win32/run-under-wine.sh wine build/mingw-i686/app/win32/SorbelloSmfTempo.exe
#   WINEPREFIX=$HOME/.wine-tt scripts/win32/run-under-wine.sh ...   # keep and reuse a prefix
#   scripts/win32/run-under-wine.sh --probe   # one line: can 32-bit programs run here?
#
# Some machines cannot start any 32-bit x86 program, so Wine's 32-bit loader
# does not start either, and Debian's `wine` wrapper picks that loader whenever
# wine32 is installed. There the command runs under the 64-bit loader, called
# directly, in a win64 prefix, and the `wine` on its PATH is wine64.sh
# (beside this script), which declines 32-bit programs with exit status 77,
# CTest's skip, and says why. TT_WIN32_ASSUME_NO_32BIT=1 takes that path on
# any machine, for testing it.
#
# WINEARCH defaults to win32 where 32-bit programs run (the 32-bit program
# needs nothing more) and to win64 where they do not; set WINEARCH=win64 to
# run the 64-bit build. The exit status is the command's, or 2 with the reason
# on stderr when the environment cannot be set up.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

say() { echo "run-under-wine: $*" >&2; }
fail() {
  say "$*"
  exit 2
}
# Any other failing step still says which one.
trap 'say "line $LINENO: \"$BASH_COMMAND\" failed (exit status $?)"' ERR

[ $# -ge 1 ] || { sed -n '2,23p' "$0" >&2; exit 2; }

# The probe: Wine's 32-bit loader is an i386 program that every 32-bit run
# starts first; asked for its version it starts and ends at once. Its answer
# is kept in TT_WIN32_NO_32BIT for the nested runs: empty where 32-bit
# programs run, the reason where they do not.
probe_32bit() {
  local loader=/usr/lib/wine/wine out
  if [ "${TT_WIN32_ASSUME_NO_32BIT:-}" = 1 ]; then
    echo "32-bit programs cannot run here: TT_WIN32_ASSUME_NO_32BIT=1 says so"
    return 1
  fi
  if [ ! -e "$loader" ]; then
    echo "32-bit programs cannot run here: no 32-bit Wine loader ($loader; package wine32:i386)"
    return 1
  fi
  if out=$("$loader" --version 2>&1); then
    echo "32-bit programs run here ($loader, Wine's 32-bit loader, starts: $out)"
    return 0
  fi
  # The shell's message ends with the system's reason, e.g. "Exec format error".
  echo "32-bit programs cannot run here: $loader, Wine's 32-bit loader, does not start: ${out##*: }"
  return 1
}
if [ "$1" = --probe ]; then
  if probe_32bit; then exit 0; else exit 1; fi
fi
if [ -z "${TT_WIN32_NO_32BIT+set}" ]; then
  TT_WIN32_NO_32BIT=$(probe_32bit) && TT_WIN32_NO_32BIT=
  export TT_WIN32_NO_32BIT
fi

if [ -z "${TT_UNDER_XVFB:-}" ]; then
  command -v xvfb-run >/dev/null || fail "xvfb-run is missing (packages xvfb and xauth)"
  export TT_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tt-wine.XXXXXX")
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$work/prefix
  own_prefix=1
fi
# shellcheck disable=SC2317  # called through the trap
cleanup() {
  if [ "$own_prefix" = 1 ]; then
    wineserver -k 2>/dev/null || true  # this prefix's server only
  else
    wineserver -w 2>/dev/null || true  # not ours: wait for it, never kill it
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if [ -n "$TT_WIN32_NO_32BIT" ]; then
  [ "${WINEARCH:-win64}" = win64 ] ||
    fail "a $WINEARCH prefix needs Wine's 32-bit loader: $TT_WIN32_NO_32BIT"
  [ -x /usr/lib/wine/wine64 ] ||
    fail "Wine's 64-bit loader /usr/lib/wine/wine64 is missing (package wine64)"
  export WINEARCH=win64
  mkdir "$work/bin"
  ln -s "$here/wine64.sh" "$work/bin/wine"
  export PATH=$work/bin:$PATH
else
  command -v wine >/dev/null || fail "wine is missing (packages wine, wine32:i386, wine64)"
fi

# Wine takes its ANSI code page from the locale, and its Unix file-name
# encoding too: without a generated ja_JP.UTF-8, GetACP() still says 932 but
# non-ASCII file names come out mangled. Build a private copy when the system
# has none (needs the `locales` package, no root, about a second).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  mkdir -p "$work/locale"
  out=$(localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" 2>&1) ||
    fail "cannot build the ja_JP.UTF-8 locale (package locales): localedef says: $out"
  export LOCPATH=$work/locale
fi

# (Braced: bash itself cannot use a private LOCPATH copy and would warn.)
{ export LC_ALL=ja_JP.UTF-8; } 2>/dev/null
export WINEDEBUG=-all
export WINEARCH=${WINEARCH:-win32}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono/Gecko installer at wineboot

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i >"$work/wineboot.log" 2>&1 || {
    status=$?
    tail -n 20 "$work/wineboot.log" >&2
    fail "wineboot -i failed (exit status $status) making a $WINEARCH prefix in $WINEPREFIX"
  }

  # Debian's Wine does not load the fonts-wine TrueType files from its data
  # folder; copied into the prefix, the caption buttons get their glyphs.
  if dpkg -L fonts-wine >/dev/null 2>&1; then
    dpkg -L fonts-wine | grep '\.ttf$' | xargs -r cp -t "$WINEPREFIX/drive_c/windows/Fonts/" ||
      fail "cannot copy the fonts-wine fonts into $WINEPREFIX"
  fi

  # The dialog asks for "ＭＳ Ｐゴシック": map it (and its relatives) to the IPA
  # fonts. Keep Wine's windows unmanaged: with no window manager under Xvfb,
  # each hidden or destroyed managed window costs a 2 s wait. regedit wants
  # UTF-16LE with a BOM for the Japanese names.
  {
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS Gothic"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
"ＭＳ Ｐ明朝"="IPAPGothic"
"ＭＳ 明朝"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
  } >"$work/settings.reg"
  # (Wine's console speaks CP932.)
  out=$(cd "$work" && wine regedit /S settings.reg 2>&1) || {
    status=$?
    fail "regedit could not import the font and window settings (exit status $status):" \
      "$(iconv -f CP932 -t UTF-8 -c <<<"$out")"
  }
  wineserver -w  # the server writes the registry files when it ends
  [ -f "$WINEPREFIX/system.reg" ] ||
    fail "wineboot -i made no $WINEARCH prefix in $WINEPREFIX (no system.reg)"
fi

status=0
"$@" || status=$?
exit "$status"
