#!/usr/bin/env bash
# Sets up the machine, builds and runs every test in stages: the native
# build, the release (the Windows zip and the Debian package) checked,
# installed, started and purged, then made again and compared, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows cross-build
# under Wine, then the serial cases on real kernel drivers in a QEMU guest.
# After the set-up the stages run in two lanes side by side, so that one
# lane's compiling fills the time the other's real-time tests sleep:
#   native, then reproducible (once the release is made), then sanitizers;
#   release, then windows (once native is built), then vm.
# Each stage's output is shown whole when it ends. Every stage runs even
# when one before it failed; the summary at the end gives each stage's
# outcome and time, and its last line counts the tests. Exits non-zero when
# any stage failed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# A passed stage's log goes at once; a failed one's stays for reading.
logs="$(mktemp -d /tmp/zorvik-test.XXXXXX)"
trap 'rmdir "$logs" 2>/dev/null || true' EXIT


source "$root/scripts/junit-count.sh"
source "$root/scripts/presets.sh"

# stage NAME [--junit] COMMAND...: runs the command with its output kept,
# and shown whole when it ends. With --junit its tests are counted from the JUnit files its ctest
# runs write into ZORVIK_JUNIT_DIR; a missing or unreadable one fails the
# stage with the reason, never "0 passed". The guest's stage prints its own
# count. A stage that fails before any count counts as one failed test, with
# the last line it printed as the reason. Its lines "note: ..." go into the
# summary. Its outcome goes to NAME.result for the summary.
stage() {
  local name="$1" junit=""
  shift
  if [ "$1" = --junit ]; then
    junit="$logs/$name.junit"
    mkdir -p "$junit"
    shift
  fi
  local log="$logs/$name.log" start=$SECONDS rc=0
  ZORVIK_JUNIT_DIR="$junit" "$@" >"$log" 2>&1 || rc=$?
  local took=$((SECONDS - start))
  {
    flock 9
    echo "=== $name ==="
    cat "$log"
  } 9>"$logs/.console"
  local good=0 bad=0 count="" counted
  local cases
  cases="$(grep -E '^[0-9]+ cases passed, [0-9]+ failed$' "$log" | tail -n1)"
  if [ -n "$junit" ]; then
    if counted="$(junit_count "$junit")"; then
      good=${counted% *} bad=${counted#* }
      count="$good passed, $bad failed"
    else
      bad=1 count="$counted" rc=1
      echo "$counted" >>"$log"
    fi
    rm -rf "$junit"
  elif [ -n "$cases" ]; then  # the guest's cases
    count="$cases"
    good=${cases%% *}
    bad="$(sed -E 's/.*, ([0-9]+) failed$/\1/' <<<"$cases")"
  elif [ "$rc" -ne 0 ]; then
    bad=1
  fi
  local notes line
  notes="$(grep -E '^note: ' "$log" | sed -E 's/^note: /; /' | tr -d '\n')"
  if [ "$rc" -eq 0 ]; then
    line="$(printf '%-12s passed  %4d s  %s%s' "$name" "$took" "$count" "$notes")"
    rm -f "$log"
  else
    local reason="${count:-$(grep -v '^[[:space:]]*$' "$log" | tail -n1)}"
    line="$(printf '%-12s FAILED  %4d s  %s%s; log: %s' "$name" "$took" "$reason" "$notes" "$log")"
  fi
  printf '%s %s %s\n%s\n' "$rc" "$good" "$bad" "$line" >"$logs/$name.result.new"
  mv "$logs/$name.result.new" "$logs/$name.result"
}

# after NAME: waits until the stage NAME of the other lane has ended.
after() {
  while [ ! -f "$logs/$1.result" ]; do sleep 1; done
}

# What the stages need before they start, with the reason when it is missing.
need_ptys() {
  [ -c /dev/ptmx ] && [ -d /dev/pts ] || { echo "no pseudo-terminals (/dev/ptmx, /dev/pts)"; return 1; }
}

# Most tests sleep in real time (over pseudo-terminals, on the window):
# more of them than cores run side by side.
native() {
  local junit
  mapfile -t junit < <(junit_args native)
  need_ptys && bash "$root/scripts/build.sh" native && (cd "$root" && ctest --preset native -j6 "${junit[@]}")
}

# The release as scripts/release.sh makes it, checked, then made again
# elsewhere and compared. Uncommitted changes are built as they stand.
release_option=()
release_dist="$root/dist"
if [ -n "$(git -C "$root" status --porcelain)" ]; then
  release_option=(--working-tree)
  release_dist="$root/build-release/dist"
fi
release() {
  [ ${#release_option[@]} -eq 0 ] || echo "note: uncommitted changes: the release was built from the working tree"
  bash "$root/scripts/release.sh" "${release_option[@]}" && bash "$root/scripts/test-release.sh" "$release_dist"
}
reproducible() { bash "$root/scripts/check-reproducible.sh" "${release_option[@]}"; }
sanitizers() { need_ptys && bash "$root/scripts/test-sanitize.sh"; }
# The release's zip, whose programs the Windows stage (or the guest) runs.
release_zip() { ls "$release_dist"/zorvik-*-windows.zip 2>/dev/null | head -n 1; }
windows() { ZORVIK_RELEASE_ZIP="$(release_zip)" bash "$root/scripts/test-windows.sh"; }
# The guest's cases need both builds' programs; its Windows ones take the
# build the Windows stage ran under Wine.
vm() {
  local build win
  build="$(preset_dir native)" win="$(preset_dir windows)"
  local ran="$win"
  if [ -f "$win/wine-runs" ] && [ "$(cat "$win/wine-runs")" != "$win" ]; then
    ran="$(cat "$win/wine-runs")"
    echo "note: the guest's Windows cases ran the 64-bit twin"
  fi
  # Where Wine here runs no 32-bit program, the release's programs run there.
  local shipped=()
  if [ "$(cat "$win/shipped-runs" 2>/dev/null)" = guest ]; then
    shipped=(ZORVIK_SHIPPED_ZIP="$(release_zip)" ZORVIK_SHIPPED_DRIVER="$win/tests/wine/window_driver.exe")
    echo "note: the release's 32-bit zorvik.exe and zorvik-demo.exe ran in the guest (whole, gone, demo)"
  fi
  bash "$root/scripts/build.sh" native -- --target vm_cases_tests zorvik-com-peer zorvik-modemsim >/dev/null &&
    env "${shipped[@]}" bash "$root/scripts/test-vm.sh" "$build" "$ran"
}

stage setup bash "$root/scripts/setup.sh"
# The windows stage builds two targets of the native build (the far ends of
# its ports) and takes the release's zip; the guest takes both builds.
(stage native --junit native; after release; stage reproducible reproducible; stage sanitizers --junit sanitizers) &
(stage release release; after native; stage windows --junit windows; stage vm vm) &
wait

echo
echo "=== summary ==="
passed=0 failed=0 any_failed=0
for name in setup native release reproducible sanitizers windows vm; do
  if [ ! -f "$logs/$name.result" ]; then
    printf '%-12s FAILED  did not run\n' "$name"
    failed=$((failed + 1)) any_failed=1
    continue
  fi
  { read -r rc good bad; IFS= read -r line; } <"$logs/$name.result"
  rm -f "$logs/$name.result"
  echo "$line"
  passed=$((passed + good)) failed=$((failed + bad))
  [ "$rc" -eq 0 ] || any_failed=1
done
rm -f "$logs/.console"
echo "$passed passed, $failed failed"
exit $any_failed
