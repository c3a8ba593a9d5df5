#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, ASan, UBSan) and runs each for
# the given number of seconds (default 60) from its checked-in seed corpus; new inputs
# go to build/fuzz/corpus/<target>, the checked-in corpus is left as it is. Prints
# the executions of each target and how many a second; a crash stops the script with
# the fuzzer's report.
set -euo pipefail
seconds=${1:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for seeds in fuzz/corpus/*_fuzzer; do
  target=$(basename "$seeds")
  found="build/fuzz/corpus/$target"
  mkdir -p "$found"
  log="build/fuzz/$target.log"
  if ! "build/fuzz/$target" "$found" "$seeds" -max_total_time="$seconds" \
       -artifact_prefix="build/fuzz/$target-" >"$log" 2>&1; then
    cat "$log"
    echo "$target: FAILED (report above, input in build/fuzz/$target-*)"
    exit 1
  fi
  done_line=$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | sed 's/Done //')
  runs=${done_line%% *}
  took=$(echo "$done_line" | awk '{print $4}')
  echo "$target: $done_line, $(( runs / (took > 0 ? took : 1) )) executions a second"
done
