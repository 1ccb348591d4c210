#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the K7 panel in
# the simulated host on its demo facility, printing the trace and the panel.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
exec build/dev/host/zarn_host --panel build/dev/panels/K7/k7_mon/libk7_mon.so \
  --facility host/facilities/k7/facility.json --scenario host/facilities/k7/demo.scenario "$@"
