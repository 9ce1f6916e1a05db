#!/usr/bin/env bash
# Runs a command for the cross-built Windows program under Wine, headless:
# a private X server (xvfb-run), the ja_JP.UTF-8 locale (Wine takes code page
# 932 from it), Wine's debug output off and, unless WINEPREFIX names an
# existing prefix, a fresh temporary prefix that is removed afterwards.
#
#   scripts/win32/run-under-wine.sh ctest --test-dir build/mingw-i686 --output-on-failure
#   scripts/win32/run-under-wine.sh wine build/mingw-i686/app/win32/SorbelloSmfTempo.exe
#   WINEPREFIX=$HOME/.wine-tt scripts/win32/run-under-wine.sh ...   # keep and reuse a prefix
#
# WINEARCH defaults to win32 (the 32-bit program needs nothing more); set
# WINEARCH=win64 to run the 64-bit build. The exit status is the command's.
set -euo pipefail

[ $# -ge 1 ] || { sed -n '2,13p' "$0" >&2; exit 2; }

if [ -z "${TT_UNDER_XVFB:-}" ]; then
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

# Wine takes its ANSI code page from the locale, and its Unix file-name
# encoding too: without a generated ja_JP.UTF-8, GetACP() still says 932 but
# non-ASCII file names come out mangled. Build a private copy when the system
# has none (needs the `locales` package, no root, about a second).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  mkdir -p "$work/locale"
  localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" 2>/dev/null || {
    echo "run-under-wine: cannot build the ja_JP.UTF-8 locale (install 'locales')" >&2
    exit 2
  }
  export LOCPATH=$work/locale
fi

# (Braced: bash itself cannot use a private LOCPATH copy and would warn.)
{ export LC_ALL=ja_JP.UTF-8; } 2>/dev/null
export WINEDEBUG=-all
export WINEARCH=${WINEARCH:-win32}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono/Gecko installer at wineboot

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1

  # Debian's Wine does not load the fonts-wine TrueType files from its data
  # folder; copied into the prefix, the caption buttons get their glyphs.
  if dpkg -L fonts-wine >/dev/null 2>&1; then
    dpkg -L fonts-wine | grep '\.ttf$' | xargs -r cp -t "$WINEPREFIX/drive_c/windows/Fonts/"
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
  (cd "$work" && wine regedit /S settings.reg)
  wineserver -w
fi

status=0
"$@" || status=$?
exit "$status"
