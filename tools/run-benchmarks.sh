#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs every one of them. Each binary
# prints its figures, then a table of each benchmark beside its hand-written
# floor, the string texts beside std::string and QString, and a scaling table;
# everything is also written to build/bench/results/.
# Extra arguments go to every binary, e.g. --benchmark_filter=k7 or
# --benchmark_repetitions=5.
#
# --instructions: after each timed run, the same binary runs again under
# callgrind with a fixed number of iterations and reports instructions per
# iteration beside the time ratios of the timed run (repeatable where times
# vary by tens of percent). Only --benchmark_filter is passed on to that run.
# The simulated host's benchmark is left out of it: it would take minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
instructions=0
args=()
filters=()
for arg in "$@"; do
  case "$arg" in
    --instructions) instructions=1 ;;
    --benchmark_filter=*) args+=("$arg"); filters+=("$arg") ;;
    *) args+=("$arg") ;;
  esac
done
./tools/install-deps.sh --bench
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
results=build/bench/results
mkdir -p "$results"
for name in zarn_string script_frame k7_mon alarm host; do
  binary=build/bench/bench/$name/${name}_bench
  [ -x "$binary" ] || continue
  echo "== $name"
  "$binary" --benchmark_color=false --zarn_figures="$results/$name.figures" ${args[@]+"${args[@]}"} \
    | tee "$results/$name.txt"
  if [ "$instructions" = 1 ] && [ "$name" != host ]; then
    echo "== $name: instructions per iteration (callgrind)"
    out=$results/$name.callgrind
    rm -f "$out"
    valgrind -q --tool=callgrind --combine-dumps=yes --callgrind-out-file="$out" \
      "$binary" --zarn_instructions="$out" --zarn_times="$results/$name.figures" ${filters[@]+"${filters[@]}"} \
      | tee "$results/$name.instructions.txt"
  fi
done
