#!/usr/bin/env bash
# Makes the Debian package from a native build, installs it with apt as an
# operator would, and starts the installed zorvik-demo (offscreen) to see
# that it runs with this release's libraries. A package that was not
# installed before is removed again afterwards.
#   bash scripts/test-package.sh [build-dir]     (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

rm -f "$build"/zorvik_*.deb
out="$(cd "$build" && cpack -G DEB 2>&1)" || { echo "$out" >&2; exit 1; }
deb="$(ls "$build"/zorvik_*.deb)"
echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"

installed_before=0
dpkg-query -W -f='${Status}' zorvik 2>/dev/null | grep -q 'install ok installed' && installed_before=1
remove() { [ "$installed_before" -eq 1 ] || $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zorvik >/dev/null; }
trap remove EXIT
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null

missing="$(ldd /usr/bin/zorvik-demo | grep 'not found' || true)"
[ -z "$missing" ] || { echo "test-package: zorvik-demo lacks libraries: $missing" >&2; exit 1; }
# Started, it runs until it is closed: still running after 3 s means it came up.
rc=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/zorvik-demo || rc=$?
[ "$rc" -eq 124 ] || { echo "test-package: the installed zorvik-demo ended with $rc within 3 s" >&2; exit 1; }
echo "package: installed, zorvik-demo runs"
