#!/usr/bin/env bash
# Packs the Windows zip so that the same files give the same bytes: the
# programs stripped, every entry in one folder in name order, with fixed
# modes, owner 0 and one time (SOURCE_DATE_EPOCH, else 1980-01-01), and no
# access or change times. Names are stored as UTF-8, flagged as such.
#   make_zip.sh STRIP OUT.zip FOLDER FILE...
set -euo pipefail
strip="$1"
out="$(realpath -m "$2")"
folder="$3"
shift 3
stage="$(mktemp -d "$out.XXXXXX")"
trap 'rm -rf "$stage"' EXIT
mkdir -m 0755 "$stage/$folder"
for file in "$@"; do
  entry="$stage/$folder/$(basename "$file")"
  cp "$file" "$entry"
  case "$entry" in
    *.exe) "$strip" --strip-all "$entry" && chmod 0755 "$entry" ;;
    *) chmod 0644 "$entry" ;;
  esac
done
# A ustar archive keeps only what is set here; bsdtar turns it into the zip.
(cd "$stage" && tar --create --format=ustar --sort=name --mtime="@${SOURCE_DATE_EPOCH:-315532800}" \
  --owner=0 --group=0 --numeric-owner -f entries.tar "$folder")
rm -f "$out"
(cd "$stage" && LC_ALL=C.UTF-8 TZ=UTC0 bsdtar --create --format=zip -f "$out" @entries.tar)
