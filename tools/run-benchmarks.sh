#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs every one of them. Each binary
# prints its figures, then a table of each benchmark beside its hand-written
# floor and a scaling table; everything is also written to build/bench/results/.
# Extra arguments go to every binary, e.g. --benchmark_filter=k7 or
# --benchmark_repetitions=5.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)"
mkdir -p build/bench/results
for name in zarn_string script_frame k7_mon alarm host; do
  binary=build/bench/bench/$name/${name}_bench
  [ -x "$binary" ] || continue
  echo "== $name"
  "$binary" --benchmark_color=false "$@" | tee "build/bench/results/$name.txt"
done
