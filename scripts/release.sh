#!/usr/bin/env bash
# Makes a release from the commit checked out, into dist/:
#   zorvik-<version>-windows.zip             the two 32-bit Windows programs, guide, licence, notices
#   zorvik_<version>-1~deb<N>_amd64.deb      the Debian package of this machine's release (12 or 13)
#   SHA256SUMS                               the checksums of both (sha256sum -c SHA256SUMS)
# The same commit gives the same bytes, wherever and whenever it is built:
# both are built from the commit alone (git archive) in build-release/,
# with the commit's time as SOURCE_DATE_EPOCH.
#   bash scripts/release.sh                  refuses a tree with uncommitted changes
#   bash scripts/release.sh --working-tree   the tests' build of the tree as it stands, uncommitted
#                                            changes included, into build-release/dist (not a release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
work="$root/build-release"
dist="$root/dist"
from_commit=1
case "${1:-}" in
  "") ;;
  --working-tree) from_commit=0; dist="$work/dist" ;;
  *) echo "unknown option $1 (bash scripts/release.sh [--working-tree])" >&2; exit 2 ;;
esac
if ((from_commit)); then
  changes="$(git status --porcelain)"
  if [ -n "$changes" ]; then
    echo "release: uncommitted changes, which a release built from its commit would not have:" >&2
    sed 's/^/  /' <<<"$changes" >&2
    echo "commit them (or stash them) first" >&2
    exit 1
  fi
fi

bash "$root/scripts/setup.sh" --release

. /etc/os-release
case "${ID:-}:${VERSION_ID:-}" in
  debian:12 | debian:13) ;;
  *) echo "release: the package is made on Debian 12 or 13, not on ${PRETTY_NAME:-this system}" >&2; exit 1 ;;
esac
SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
export SOURCE_DATE_EPOCH

rm -rf "$work"
mkdir -p "$work/src"
if ((from_commit)); then
  git archive HEAD | tar -x -C "$work/src"
else
  git ls-files -z --cached --others --exclude-standard --deduplicate |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -c | tar -x -C "$work/src"
fi
src="$work/src"

echo "=== the Windows zip ==="
# The preset builds in build-release/windows, the folder mapped away.
(cd "$src" && cmake --preset release-windows >/dev/null && cmake --build --preset release-windows)
zip="$(ls "$work/windows"/zorvik-*-windows.zip)"

echo "=== the Debian package ==="
# The release's own entry on top of the changelog: its version says which
# Debian it was made for, and its date is the commit's.
changelog="$src/debian/changelog"
version="$(dpkg-parsechangelog -l "$changelog" -S Version)~deb$VERSION_ID"
maintainer="$(dpkg-parsechangelog -l "$changelog" -S Maintainer)"
{
  printf 'zorvik (%s) %s; urgency=medium\n\n' "$version" "$VERSION_CODENAME"
  printf '  * Built for Debian %s (%s).\n\n' "$VERSION_ID" "$VERSION_CODENAME"
  printf ' -- %s  %s\n\n' "$maintainer" "$(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")"
  cat "$changelog"
} >"$changelog.new"
mv "$changelog.new" "$changelog"
(cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -b --no-sign)
deb="$work/zorvik_${version}_amd64.deb"

rm -rf "$dist"
mkdir -p "$dist"
cp "$zip" "$deb" "$dist/"
(cd "$dist" && LC_ALL=C sha256sum -- *.zip *.deb >SHA256SUMS)
echo "=== $dist ==="
(cd "$dist" && cat SHA256SUMS)
