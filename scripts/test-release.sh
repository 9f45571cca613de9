#!/usr/bin/env bash
# Checks a release made by scripts/release.sh: the checksums; the Windows
# zip's contents and programs; the Debian package with lintian (no error or
# warning), hardening-check, desktop-file-validate and appstreamcli; then
# installs the package with apt as an operator would, starts its zorvik-demo
# (offscreen), purges it and finds no file of it left behind.
#   bash scripts/test-release.sh [DIST]     (default: dist)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dist="$(realpath -m "${1:-$root/dist}")"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
work="$(mktemp -d /tmp/zorvik-release-check.XXXXXX)"
trap 'rm -rf "$work"' EXIT
fail() { echo "test-release: $*" >&2; exit 1; }

(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match $dist"
zip="$(ls "$dist"/zorvik-*-windows.zip)"
deb="$(ls "$dist"/zorvik_*.deb)"
. /etc/os-release
case "$(basename "$deb")" in
  *"~deb${VERSION_ID}_"*) ;;
  *) fail "$(basename "$deb") does not say it is for Debian $VERSION_ID" ;;
esac

(cd "$work" && cmake -DZIP="$zip" -DOBJDUMP=i686-w64-mingw32-objdump \
  -DALLOWED="$root/tests/wine/windows7_imports.txt" -P "$root/tests/wine/deliverable_check.cmake") ||
  fail "the zip is not as delivered"

# Informational tags are shown; an error or a warning fails.
rc=0
lintian --info --display-info --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || rc=$?
sed '/running with root privileges/d' "$work/lintian"
[ "$rc" -eq 0 ] || fail "lintian found errors or warnings in $(basename "$deb")"
echo "lintian: $(grep -c '^[EWIP]: ' "$work/lintian" || true) tags, none an error or a warning"
files="$work/package"
dpkg-deb -x "$deb" "$files"
# Debian 12's C library carries no control-flow protection, so no program linked with it can.
# Branch protection is arm64's; Debian 13's hardening-check asks for it on amd64 too.
checks=(--nocfprotection)
if [[ "$(hardening-check --help 2>&1)" == *--nobranchprotection* ]]; then checks+=(--nobranchprotection); fi
for program in "$files"/usr/bin/*; do
  hardening-check "${checks[@]}" "$program" || fail "$(basename "$program") is not hardened"
done
desktop-file-validate "$files"/usr/share/applications/*.desktop || fail "a menu entry is not valid"
appstreamcli validate --no-net "$files"/usr/share/metainfo/*.xml || fail "the metainfo is not valid"

# Installing over a zorvik of the user's would replace it.
if [ "$(dpkg-query -W -f='${Status}' zorvik 2>/dev/null || true)" = "install ok installed" ]; then
  echo "note: zorvik is installed here: the package was not installed and purged"
  exit 0
fi
listing() { find /usr /etc /opt -xdev 2>/dev/null | LC_ALL=C sort; }
listing >"$work/before"
purge() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zorvik >/dev/null; }
trap 'purge || true; rm -rf "$work"' EXIT
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
missing="$(ldd /usr/bin/zorvik-demo | grep 'not found' || true)"
[ -z "$missing" ] || fail "zorvik-demo lacks libraries: $missing"
# Started, it runs until it is closed: still running after 3 s means it came up.
rc=0
QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/zorvik-demo || rc=$?
[ "$rc" -eq 124 ] || fail "the installed zorvik-demo ended with $rc within 3 s"
purge
trap 'rm -rf "$work"' EXIT
listing >"$work/after"
left="$(LC_ALL=C comm -13 "$work/before" "$work/after")"
[ -z "$left" ] || fail "the purged package left behind: $left"
echo "package: $(basename "$deb") installed, zorvik-demo runs, purged without a trace"
