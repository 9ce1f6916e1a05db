#!/bin/sh
# The Debian packages as a user gets them: built by cpack from this build,
# unpacked into a scratch root, the installed smftempo run on a small file,
# its man page's options compared with those of --help, and lintian over
# every package (an error fails the test; warnings are printed).
#
#   package.sh CPACK BUILD_DIR WORK_DIR
set -eu
cpack=$1 build=$2 work=$3
fail() { echo "package: $*" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/root" && cd "$work"

"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >cpack.log 2>&1 || { cat cpack.log; fail "cpack failed"; }
for deb in *.deb; do dpkg-deb -x "$deb" root; done
for package in smftempo smftempo-gui; do  # a package not built has no copyright file either
  [ -s root/usr/share/doc/$package/copyright ] || fail "$package: no package or no copyright file"
done

bin=root/usr/bin/smftempo
"$bin" --version | grep -q '^smftempo [0-9]' || fail "smftempo --version: no version"
# 96 ticks per quarter note at 120 BPM, a note one quarter long; at 60 BPM the
# tempo event says 1000000 us and the note lasts 48 ticks.
header='MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\23\0\377\121\3'
printf "$header"'\7\241\40\0\220\74\100\140\200\74\0\0\377\57\0' >in.mid
printf "$header"'\17\102\100\0\220\74\100\60\200\74\0\0\377\57\0' >want.mid
"$bin" --bpm 60 -o out.mid in.mid || fail "the installed smftempo failed a conversion"
cmp out.mid want.mid || fail "the installed smftempo wrote other bytes"

# The options each text names: words that start with - or --.
options() { sed -e 's/\\f[BIRP]//g' -e 's/\\[,/]//g' -e 's/\\-/-/g' | grep -oE '(^|[ [|])--?[a-z][a-z-]*' |
  tr -d ' [|' | sort -u; }
help=$(LC_ALL=C "$bin" --help | options)
man=$(zcat root/usr/share/man/man1/smftempo.1.gz | options)
case "$help" in *--bpm*) ;; *) fail "smftempo --help names no --bpm" ;; esac
[ "$help" = "$man" ] || {
  echo "$help" >help.txt && echo "$man" >man.txt
  diff help.txt man.txt || fail "the man page and --help name other options"
}

lintian --fail-on error --display-info *.deb >lintian.txt 2>&1 || { cat lintian.txt; fail "lintian errors"; }
cat lintian.txt
