#!/usr/bin/env bash
# The folders' include rules of ARCHITECTURE.md ("Folders and what each may
# include"), checked on every #include of every C++ file of the program's
# folders: which folders each may include, Qt only in the Qt files, Win32
# only in the *_win32 and win32_* files. A forbidden include fails, naming the file,
# its line and the rule; so does a file that cannot be read.
#   bash scripts/check-layering.sh [ROOT]
set -uo pipefail
root="$(cd "${1:-$(dirname "$0")/..}" && pwd)"

# Each folder and the folders it may include (itself among them).
declare -A may=(
  [toolkit]="toolkit"
  [serial]="toolkit serial"
  [version]="toolkit version"
  [meterlink]="toolkit serial meterlink"
  [setup]="toolkit serial setup"
  [modemsim]="toolkit serial modemsim"
  [testing]="toolkit serial modemsim testing"
  [app]="toolkit serial version meterlink setup modemsim app"
)
# Where Qt may be included: the Qt toolkit, the Qt code-page and collation
# files, and the Qt window's files of app/ (those the Windows build leaves out).
qt_allowed() {
  case "$1" in
    toolkit/qt_toolkit.* | toolkit/codepage_qt.cpp | */*_qt.cpp) return 0 ;;
    app/*_win32.* | app/environment.* | app/window_place.h) return 1 ;;
    app/*) return 0 ;;
  esac
  return 1
}
win32_headers=" windows.h winspool.h winbase.h winuser.h windowsx.h commctrl.h dbt.h uxtheme.h vssym32.h shellapi.h shlobj.h "

status=0
fail() {
  echo "check-layering: $*"
  status=1
}
files=0
for dir in "${!may[@]}"; do
  [ -d "$root/$dir" ] || continue
  while IFS= read -r -d '' path; do
    file="${path#"$root"/}"
    files=$((files + 1))
    if [ ! -f "$path" ] || [ ! -r "$path" ]; then
      fail "$file: cannot be read"
      continue
    fi
    includes="$(grep -n '^[[:space:]]*#[[:space:]]*include' "$path")"
    [ $? -le 1 ] || { fail "$file: cannot be read"; continue; }
    while IFS= read -r line; do
      [ -n "$line" ] || continue
      number="${line%%:*}"
      target="$(sed -E 's/^[^#]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1/' <<<"${line#*:}")"
      if [[ "${line#*:}" == *'"'* ]]; then
        folder="${target%%/*}"
        [ "$folder" != "$target" ] || continue  # beside itself
        if [[ " ${may[$dir]} " != *" $folder "* ]]; then
          fail "$file:$number: includes $target, but $dir/ may include only ${may[$dir]// //, }/"
        fi
      elif [[ "$target" == Q* ]]; then
        qt_allowed "$file" || fail "$file:$number: includes <$target>, but Qt belongs only in the Qt files"
      elif [[ "$win32_headers" == *" ${target,,} "* ]]; then
        [[ "$file" == *_win32.* || "$file" == */win32_* ]] ||
          fail "$file:$number: includes <$target>, but Win32 belongs only in *_win32 and win32_* files"
      fi
    done <<<"$includes"
  done < <(find "$root/$dir" \( -type f -o -type l \) \( -name '*.cpp' -o -name '*.h' \) -print0)
done
[ "$files" -gt 0 ] || fail "no C++ file found under $root"
[ "$status" -ne 0 ] || echo "check-layering: $files files, every include within its folder's rules"
exit $status
