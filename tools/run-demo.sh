#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds zarn_host and the K7 panel (the
# demo preset: Release, no tests) and runs the panel in the simulated host on
# its demo facility, printing the trace and the panel.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh demo
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)"
exec build/demo/host/zarn_host --panel build/demo/panels/K7/k7_mon/libk7_mon.so \
  --facility host/facilities/k7/facility.json --scenario host/facilities/k7/demo.scenario "$@"
