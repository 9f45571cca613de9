#!/usr/bin/env bash
# The include check on a tree made up for it: clean it passes; a planted
# forbidden include, a Qt header below app/ and a file that cannot be read
# each fail it, named with the rule.
set -uo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layering.sh"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/serial" "$tree/app"
printf '#include "toolkit/toolkit.h"\n#include <string>\n' >"$tree/serial/port.h"
printf '#include "serial/port.h"\n#include <QWidget>\n' >"$tree/app/window.cpp"
bash "$check" "$tree" >/dev/null || { echo "a clean tree failed"; exit 1; }
expect_failure() {  # expect_failure WHAT TEXT: the check fails, saying TEXT
  local said
  said="$(bash "$check" "$tree")" && { echo "$1 passed the check"; exit 1; }
  grep -qF "$2" <<<"$said" || { echo "$1: the check said: $said"; exit 1; }
}
printf '#include "app/window.h"\n' >>"$tree/serial/port.h"
expect_failure "an arrow back up" "serial/port.h:3: includes app/window.h, but serial/ may include only toolkit/, serial/"
printf '#include <string>\n' >"$tree/serial/port.h"
printf '#include <QString>\n' >"$tree/serial/text.cpp"
expect_failure "Qt in serial/" "serial/text.cpp:1: includes <QString>, but Qt belongs only in the Qt files"
rm "$tree/serial/text.cpp"
ln -s "$tree/nowhere.h" "$tree/serial/gone.h"
expect_failure "a file that cannot be read" "serial/gone.h: cannot be read"
echo "the check passed a clean tree and caught each planted fault"
