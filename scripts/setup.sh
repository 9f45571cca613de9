#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 and 13).
#   bash scripts/setup.sh                the program and its tests
#   bash scripts/setup.sh --program      only what building and running the program needs
#   bash scripts/setup.sh --release      only what making a release needs
#   bash scripts/setup.sh --screenshot   also xdotool and ImageMagick
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
          fonts-liberation)  # a face of the window's metrics where there is no MS Sans Serif
test_packages=(libgtest-dev
          picocom  # holds a port in the busy-port test
          xvfb xauth openbox x11-utils  # the window under a real window manager
          # the guest with real serial drivers: QEMU, and Debian's kernel unpacked with its modules
          qemu-system-x86 busybox-static cpio kmod xz-utils zstd
          # the tests of the Windows cross-build under Wine
          wine wine64 googletest locales
          # the release's checks: lintian, hardening-check (devscripts), the menu entries and metainfo
          lintian devscripts desktop-file-utils appstream)
# The release: the Windows cross-build, its zip, and the Debian package.
release_packages=(g++-mingw-w64-i686-posix libarchive-tools debhelper)
# Their recommendations would bring much that the checks do not use.
without_recommends=(lintian devscripts)
tests=1
for option in "$@"; do
  case "$option" in
    --program) tests=0 ;;
    --release) tests=0; packages+=("${release_packages[@]}") ;;
    --screenshot) packages+=(xdotool imagemagick) ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
  esac
done
((tests)) && packages+=("${test_packages[@]}" "${release_packages[@]}")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }

# Wine runs 32-bit programs with its i386 half, which comes from the i386 half of the archive.
wine32=()
if ((tests)); then
  if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    $sudo dpkg --add-architecture i386
  fi
  installed wine32:i386 || wine32=(wine32:i386)
fi
# Installed, it may still not start: a kernel without 32-bit support says
# "Exec format error". The Windows tests then need the 64-bit twin's compiler.
twin_compiler=g++-mingw-w64-x86-64-posix
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if ((tests)) && ((${#wine32[@]} == 0)) && ! runs_32bit; then packages+=("$twin_compiler"); fi
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
((${#missing[@]} + ${#wine32[@]})) || exit 0

# A mirror caught in the middle of its sync serves an index that does not
# match its release file; a later try usually gets a whole one. When none
# does, apt keeps the rest of the index, and the packages it still finds are
# installed. Only wine32 missing is worth one try: the tests do without it.
whole=0
tries=3
((${#missing[@]})) || tries=1
for ((try = 1; try <= tries; try++)); do
  $sudo apt-get update -qq && { whole=1; break; }
  ((try == tries)) || { echo "setup: the package index was not fetched whole; trying again in 60 s" >&2; sleep 60; }
done
((whole)) || echo "setup: the package index could not be fetched whole (see above); going on with what was fetched" >&2

# A release without one of them fails here, by the package's name, not
# later at a missing header or program.
unknown=()
for p in "${missing[@]}"; do
  policy="$(apt-cache policy "$p" 2>/dev/null)"
  grep -q 'Candidate: [^(]' <<<"$policy" || unknown+=("$p")
done
if ((${#unknown[@]})); then
  if ((whole)); then
    echo "setup: this system's package sources have no ${unknown[*]}" >&2
  else
    echo "setup: the part of the package index that could be fetched has no ${unknown[*]}; try again later" >&2
  fi
  exit 1
fi
lean=()
full=()
for p in "${missing[@]}"; do
  if [[ " ${without_recommends[*]} " == *" $p "* ]]; then lean+=("$p"); else full+=("$p"); fi
done
((${#full[@]} == 0)) || $sudo apt-get install -y -qq "${full[@]}"
((${#lean[@]} == 0)) || $sudo apt-get install -y -qq --no-install-recommends "${lean[@]}"

# The i386 half must match the versions of this machine's amd64 libraries; an
# i386 index out of step with them (or missing) leaves it uninstallable. Then
# the Windows tests run the program's 64-bit twin under Wine's 64-bit half.
if ((${#wine32[@]})) && ! $sudo apt-get install -y -q "${wine32[@]}"; then
  echo "setup: wine32:i386 cannot be installed now; the Windows tests will run the program's 64-bit twin" >&2
  installed "$twin_compiler" || $sudo apt-get install -y -qq "$twin_compiler"
elif ((${#wine32[@]})) && ! runs_32bit; then
  echo "setup: this kernel runs no 32-bit program; the Windows tests will run the program's 64-bit twin" >&2
  installed "$twin_compiler" || $sudo apt-get install -y -qq "$twin_compiler"
fi

if ((tests)); then
  # Wine takes its ANSI code page (1251) from a Russian locale.
  if ! grep -qix 'ru_RU\.utf-\?8' <<<"$(locale -a 2>/dev/null)"; then
    $sudo localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
  fi
fi
