#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 and 13).
#   bash scripts/setup.sh                the program and its tests
#   bash scripts/setup.sh --screenshot   also xdotool and ImageMagick
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
          libgtest-dev
          file  # cpack reads the programs' libraries with it for the package's dependencies
          picocom  # holds a port in the busy-port test
          fonts-liberation  # a face of the window's metrics where there is no MS Sans Serif
          xvfb xauth openbox x11-utils  # the window under a real window manager
          # the guest with real serial drivers: QEMU, and Debian's kernel unpacked with its modules
          qemu-system-x86 busybox-static cpio kmod xz-utils zstd
          # the Windows cross-build (32-bit) and its tests under Wine, which
          # runs 32-bit programs with its i386 half
          g++-mingw-w64-i686-posix wine wine32:i386 wine64 googletest locales)
for option in "$@"; do
  case "$option" in
    --screenshot) packages+=(xdotool imagemagick) ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
  esac
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# wine32 comes from the i386 half of the archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  # A mirror caught in the middle of its sync serves an index that does not
  # match its release file; a later try usually gets a whole one.
  for try in 1 2 3; do
    $sudo apt-get update -qq && break
    if [ "$try" -eq 3 ]; then
      echo "setup: the package index could not be fetched whole (see above); try again later" >&2
      exit 1
    fi
    echo "setup: the package index was not fetched whole; trying again in 60 s" >&2
    sleep 60
  done
  # A release without one of them fails here, by the package's name, not
  # later at a missing header or program.
  unknown=()
  for p in "${missing[@]}"; do
    policy="$(apt-cache policy "$p" 2>/dev/null)"
    grep -q 'Candidate: [^(]' <<<"$policy" || unknown+=("$p")
  done
  if ((${#unknown[@]})); then
    echo "setup: this system's package sources have no ${unknown[*]}" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# Wine takes its ANSI code page (1251) from a Russian locale.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
  $sudo localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
