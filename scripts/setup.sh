#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Idempotent:
# packages already present are not fetched again, and nothing is asked.
#
#   scripts/setup.sh --cli      # only what the command-line converter needs (scripts/demo.sh)
#   scripts/setup.sh            # the Linux build, tests, fuzzing, Qt dialog, packages
#   scripts/setup.sh --windows  # also the MinGW-w64 cross compilers and Wine
set -euo pipefail

cli_packages=(
  build-essential cmake            # g++ 12, make, CMake 3.25
  libcli11-dev nlohmann-json3-dev  # smftempo's option parser and JSON reports (header-only)
)
packages=(
  libgtest-dev                     # GoogleTest
  gettext                          # msgfmt: smftempo's message catalogs (po/*.po); without it English only
  clang libclang-rt-14-dev         # libFuzzer and the sanitizer runtimes
  valgrind                         # memcheck over the command-line converter
  qt6-base-dev libgl-dev           # the Linux desktop dialog (Qt 6 Widgets)
  desktop-file-utils               # checks its desktop entry
  xvfb xauth fonts-ipafont-gothic  # headless screenshots with legible Japanese
  python3 python3-mido             # an independent reader for the end-to-end checks
  locales                          # ja_JP.UTF-8 for system texts in Japanese
  help2man                         # smftempo's man page, made from its --help
  dpkg-dev                         # dpkg-shlibdeps: the packages' dependencies (cpack)
  lintian                          # checks the Debian packages (tests/package.sh)
)
windows_packages=(
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32  # 32- and 64-bit Windows programs
  wine wine32:i386 wine64  # the Windows tests; wine64's loader where 32-bit programs cannot run
  fonts-wine x11-utils imagemagick                     # caption glyphs, screenshots
)

want=("${cli_packages[@]}")
[ "${1:-}" = "--cli" ] || want+=("${packages[@]}")
if [ "${1:-}" = "--windows" ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 || {
    echo "setup: dpkg --add-architecture i386 failed: wine32:i386 cannot be installed" >&2
    exit 1
  }
  want+=("${windows_packages[@]}")
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: everything is installed"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}; run as root (or install them) first" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq || { echo "setup: apt-get update failed (exit status $?)" >&2; exit 1; }
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
  echo "setup: apt-get install ${missing[*]} failed (exit status $?)" >&2
  exit 1
}
