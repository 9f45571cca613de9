#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, runs each for a while from the kept
# corpus, and merges what found new coverage back into tests/fuzz/corpus/.
#   bash scripts/fuzz.sh [seconds-per-target] [target...]     (default 600, all)
# Two targets run at a time. Needs clang and libclang-rt-dev (Debian 12:
# clang-14, libclang-rt-14-dev). A crash leaves crash-* files in
# build-fuzz/findings/<target>/ and makes the script fail.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(setup_reply meterlink_answer comma_text version_block)
dir="$root/build-fuzz"

generator=()
command -v ninja >/dev/null && [ ! -f "$dir/CMakeCache.txt" ] && generator=(-G Ninja)
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVIK_FUZZ=ON -DZORVIK_TESTS=OFF -DZORVIK_WITH_QT=ON >/dev/null
cmake --build "$dir" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Long inputs add nothing these readers do not see in short ones.
declare -A max_len=([setup_reply]=1024 [meterlink_answer]=512 [comma_text]=256 [version_block]=2048)
run() {
  local t="$1" kept="$root/tests/fuzz/corpus/$1" work="$dir/work/$1" out="$dir/findings/$1"
  mkdir -p "$kept" "$work" "$out"
  local dict=()
  [ -f "$root/tests/fuzz/$t.dict" ] && dict=(-dict="$root/tests/fuzz/$t.dict")
  (cd "$out" && nice "$dir/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
     -max_len="${max_len[$t]:-1024}" "${dict[@]}" "$work" "$kept") >"$out/fuzz.log" 2>&1 || true
  # Keep only the inputs that reach new code (edges, not hit counts): the old
  # corpus and the new finds, minimised.
  local merged="$dir/merged/$t"
  rm -rf "$merged" && mkdir -p "$merged"
  # The kept corpus is replaced only by a merge that worked and kept something.
  if ! "$dir/tests/fuzz/fuzz_$t" -merge=1 -use_counters=0 "$merged" "$kept" "$work" >"$out/merge.log" 2>&1; then
    echo "$t: the merge failed ($out/merge.log); the corpus is left as it was"
    return 1
  fi
  if [ -z "$(ls -A "$merged")" ]; then
    echo "$t: the merge kept nothing; the corpus is left as it was"
    return 1
  fi
  rm -f "$kept"/* && cp "$merged"/* "$kept"/
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/fuzz.log")
  echo "$t: ${execs:-?} executions in ${seconds}s, corpus $(ls "$kept" | wc -l) files," \
       "$(du -sk "$kept" | cut -f1) KiB, crashes: $(ls "$out" | grep -c '^crash-\|^leak-\|^timeout-\|^oom-' || true)"
}

status=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run "${targets[i]}" &
  first=$!
  if ((i + 1 < ${#targets[@]})); then run "${targets[i + 1]}" || status=1; fi
  wait "$first" || status=1
done
for t in "${targets[@]}"; do
  found="$(find "$dir/findings/$t" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) -print)"
  [ -z "$found" ] || status=1
done
exit $status
