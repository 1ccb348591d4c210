#!/usr/bin/env bash
# Builds zarn_host and the K7 panel (the demo preset) and serves the panel to a browser on its
# demo facility; zarn_host prints the address to open. Usage:
#   tools/serve-k7.sh [[HOST:]PORT]     (default 127.0.0.1:8077; Ctrl-C ends it)
# A rebuild of the panel (cmake --build --preset demo --target k7_mon) reloads
# it in the page while the facility keeps its state.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh build
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)"
exec build/demo/host/zarn_host --quiet --panel build/demo/panels/K7/k7_mon/libk7_mon.so \
  --facility host/facilities/k7/facility.json --serve "${1:-127.0.0.1:8077}"
