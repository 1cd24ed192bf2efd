#!/bin/sh
# Runs every fuzz target: first its kept regression inputs, then a timed
# run from its seed corpus. Usage: run-fuzz.sh BUILD_DIR SECONDS
set -eu
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
for t in $(grep -E '^[a-z]' "$root/fuzz/targets.txt" | cut -d' ' -f1); do
  exe="$build/fuzz/fuzz_$t"
  if [ -d "$root/fuzz/regressions/$t" ] && [ -n "$(ls -A "$root/fuzz/regressions/$t")" ]; then
    echo "== $t: regression inputs"
    "$exe" "$root/fuzz/regressions/$t"/* > "$build/fuzz-$t-regressions.log" 2>&1 ||
      { cat "$build/fuzz-$t-regressions.log"; exit 1; }
  fi
  work="$build/corpus/$t"
  mkdir -p "$work"
  echo "== $t: ${seconds}s"
  # The work corpus grows across runs; the seeds in the repository stay as
  # they are.
  "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/crash-$t-" \
    "$work" "$root/fuzz/corpus/$t" > "$build/fuzz-$t.log" 2>&1 ||
    { tail -n 60 "$build/fuzz-$t.log"; echo "fuzz target $t failed; input kept in $build"; exit 1; }
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$build/fuzz-$t.log" | tr '\n' ' '
  echo
done
