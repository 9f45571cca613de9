#!/usr/bin/env bash
# The test command's counting of ctest's JUnit files: passes, failures and
# skips counted over several files; a missing, unreadable or foreign file is
# a failure with its reason, never "0 passed".
set -uo pipefail
source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/junit-count.sh"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
suite() {  # suite FILE STATUS...: a ctest JUnit file with one test case per status
  local file="$1" status i=0
  shift
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="(empty)"\n\ttests="%d"\n\t>\n' $#
    for status; do
      printf '\t<testcase name="t%d" classname="t%d" time="0.1" status="%s">\n' $i $i "${status%%:*}"
      [ "${status#*:}" = "$status" ] || printf '\t\t<skipped message="%s"/>\n' "${status#*:}"
      printf '\t</testcase>\n'
      i=$((i + 1))
    done
    printf '</testsuite>\n'
  } >"$file"
}
expect() {  # expect WHAT WANT: junit_count on dir says WANT
  local said
  said="$(junit_count "$dir")"
  [ "$said" = "$2" ] || { echo "$1: said '$said', not '$2'"; exit 1; }
}
expect "no file" "no test results: ctest wrote no JUnit file"
suite "$dir/a.xml" run run fail notrun:SKIP_RETURN_CODE=77
suite "$dir/b.xml" run fail "notrun:SKIP_REGULAR_EXPRESSION_MATCHED" "notrun:Unable to find executable"
expect "two files" "5 3"
printf '<?xml version="1.0"?>\n<testsuite name="cut short"\n\t<testcase name="x" status="run">\n' >"$dir/c.xml"
expect "a file cut short" "unreadable test results: $dir/c.xml"
rm "$dir/c.xml"
ln -s "$dir/nowhere.xml" "$dir/d.xml"
expect "a file that cannot be read" "unreadable test results: $dir/d.xml"
echo "counted right, and refused what is not a count"
