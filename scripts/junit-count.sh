# The counts of the JUnit files ctest wrote (ctest --output-junit), for the
# test command's summary; sourced by scripts/test.sh.
#
# junit_count DIR: prints "PASSED FAILED" over every DIR/*.xml (a test
# skipped on purpose counts as passed, as ctest counts it; one that could not
# run, its program missing say, as failed); fails with the
# reason on standard output when there is no such file, or one that cannot
# be read or is not ctest's JUnit.
junit_count() {
  local dir="$1" file passed=0 failed=0 cases bad
  local files=("$dir"/*.xml)
  if [ ! -e "${files[0]}" ]; then
    echo "no test results: ctest wrote no JUnit file"
    return 1
  fi
  for file in "${files[@]}"; do
    if [ ! -r "$file" ] || ! grep -q '<testsuite' "$file" 2>/dev/null || ! grep -q '</testsuite>' "$file"; then
      echo "unreadable test results: $file"
      return 1
    fi
    cases="$(grep -o '<testcase ' "$file" | wc -l)"
    # ctest marks both "notrun"; only a skip's message names the skip rule.
    bad="$(($(grep -o '<testcase [^>]*status="fail"' "$file" | wc -l) +
      $(grep -o '<skipped message="[^"]*"' "$file" | grep -vc 'message="SKIP_')))"
    passed=$((passed + cases - bad))
    failed=$((failed + bad))
  done
  echo "$passed $failed"
}
