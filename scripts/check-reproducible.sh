#!/usr/bin/env bash
# Makes the release a second time and compares it with the first, byte for
# byte: from another clone, in a folder of another name and depth, later,
# under another umask, time zone and locale. Names each file that differs,
# and shows where with diffoscope when it is installed.
#   bash scripts/check-reproducible.sh                  against dist/ (made first when missing)
#   bash scripts/check-reproducible.sh --working-tree   against build-release/dist, the tree as it stands
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
option=()
first="$root/dist"
case "${1:-}" in
  "") ;;
  --working-tree) option=(--working-tree); first="$root/build-release/dist" ;;
  *) echo "unknown option $1 (bash scripts/check-reproducible.sh [--working-tree])" >&2; exit 2 ;;
esac
[ -f "$first/SHA256SUMS" ] || bash "$root/scripts/release.sh" "${option[@]}"

other="$(mktemp -d /tmp/zorvik-second-build.XXXXXX)"
trap 'rm -rf "$other"' EXIT
clone="$other/another/place/zorvik"
git clone -q "$root" "$clone"
if ((${#option[@]})); then
  # The clone holds the commit; the tree's uncommitted state goes over it.
  git -C "$clone" ls-files -z | (cd "$clone" && xargs -0 rm -f)
  (cd "$root" && git ls-files -z --cached --others --exclude-standard --deduplicate |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -c) | tar -x -C "$clone"
fi
(umask 0077 && cd "$clone" && TZ=Asia/Vladivostok LANG=ru_RU.UTF-8 LC_ALL= \
  bash scripts/release.sh "${option[@]}") >"$other/release.log" 2>&1 ||
  { tail -n 20 "$other/release.log"; echo "check-reproducible: the second build failed" >&2; exit 1; }
second="$clone/dist"
((${#option[@]} == 0)) || second="$clone/build-release/dist"

differ=0
for file in "$first"/* "$second"/*; do
  name="$(basename "$file")"
  [ -e "$first/$name" ] && [ -e "$second/$name" ] || { echo "only in one build: $name"; differ=1; continue; }
  [ "$file" = "$first/$name" ] || continue
  if cmp -s "$first/$name" "$second/$name"; then
    echo "same: $name $(sha256sum <"$first/$name" | cut -d' ' -f1)"
  else
    echo "DIFFERS: $name"
    differ=1
    if command -v diffoscope >/dev/null; then
      diffoscope --text - "$first/$name" "$second/$name" | head -n 200 || true
    fi
  fi
done
((differ == 0)) || { echo "check-reproducible: the two builds differ" >&2; exit 1; }
echo "check-reproducible: both builds gave the same bytes"
