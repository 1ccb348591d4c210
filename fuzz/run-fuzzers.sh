#!/usr/bin/env bash
# Runs every libFuzzer binary of a fuzzer build for a fixed time, two at a
# time, starting from the seed corpora in the tree (which are not written to).
# Usage: fuzz/run-fuzzers.sh <build dir> <seconds per fuzzer> [fuzzer...]
# Prints the executions of each; fails if any fuzzer finds a crash, with the
# reproducer left in <build dir>/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2
fuzzers=("$@")
# By default every fuzzer with a seed corpus in the tree (each has one).
if [ ${#fuzzers[@]} -eq 0 ]; then
  for corpus in fuzz/corpus/*/; do fuzzers+=("$(basename "$corpus")"); done
fi
out="$build/fuzz/runs"
artifacts="$build/fuzz/artifacts"
rm -rf "$out"
mkdir -p "$out" "$artifacts"

run() {
  local name=$1
  mkdir -p "$out/$name.corpus"
  # -close_fd_mask=2: the panels' diagnostics go to standard error; libFuzzer
  # keeps its own reports.
  nice -n 10 "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" "$out/$name.corpus" "fuzz/corpus/$name" >"$out/$name.log" 2>&1
}

pids=()
names=()
status=0
for name in "${fuzzers[@]}"; do
  run "$name" &
  pids+=($!)
  names+=("$name")
  if [ ${#pids[@]} -eq 2 ]; then
    wait "${pids[0]}" || { echo "FAIL ${names[0]}"; status=1; }
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { echo "FAIL ${names[$i]}"; status=1; }
done

for name in "${fuzzers[@]}"; do
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name.log")
  printf '%-28s %12s executions in %ss\n' "$name" "${execs:-?}" "$seconds"
done
if [ $status -ne 0 ]; then
  for name in "${fuzzers[@]}"; do
    grep -q -E 'ERROR|invariant broken' "$out/$name.log" && { echo "== $name"; grep -E -A25 'ERROR|invariant broken' "$out/$name.log" | head -60; }
  done
fi
exit $status
