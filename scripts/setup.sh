#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 / Ubuntu 22.04+).
#   bash scripts/setup.sh                the program and its tests
#   bash scripts/setup.sh --screenshot   also Xvfb, xdotool and ImageMagick
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
          libgtest-dev)
for option in "$@"; do
  case "$option" in
    --screenshot) packages+=(xvfb xauth xdotool imagemagick) ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
