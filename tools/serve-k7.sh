#!/usr/bin/env bash
# Builds zarn_host and the K7 panel (the serve preset) and serves the panel to a browser on its
# demo facility; zarn_host prints the address to open. Usage:
#   tools/serve-k7.sh [--bridged] [[HOST:]PORT]     (default 127.0.0.1:8077; Ctrl-C ends it)
# --bridged serves the K7 routers over SW-P-08 on 127.0.0.1:8910 and Ember+ on
# 127.0.0.1:9000, and sends the
# monitors' displays over TSL UMD v5 to udp://127.0.0.1:8900.
# A rebuild of the panel (cmake --build --preset serve --target k7_mon) reloads
# it in the page while the facility keeps its state.
set -euo pipefail
facility=facility.json
if [[ "${1:-}" == --bridged ]]; then
  facility=facility-bridged.json
  shift
fi
cd "$(dirname "$0")/.."
./tools/install-deps.sh build
cmake --preset serve >/dev/null
cmake --build --preset serve -j "$(nproc)"
exec build/serve/host/zarn_host --quiet --panel build/serve/panels/K7/k7_mon/libk7_mon.so \
  --facility "host/facilities/k7/$facility" --serve "${1:-127.0.0.1:8077}"
