#!/usr/bin/env bash
# Builds the 32- and 64-bit Windows DLLs, the tests and zarn_host.exe with
# mingw-w64 and runs the tests under Wine, headless, with a Wine prefix of its
# own inside build/. Usage: tools/test-windows.sh [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-$(nproc)}

export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs CTEST_PARALLEL_LEVEL=$jobs
rm -rf build/win32 build/win64 "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A persistent server for the whole run, stopped however the run ends.
trap 'wineserver -k 2>/dev/null || true' EXIT
wineserver -p
# The prefix's first start takes a while: it runs while the win32 build
# compiles. Then each preset's workflow configures, builds (win32: already up
# to date) and runs the tests under Wine.
wineboot -i >build/wine-prefix/boot.log 2>&1 &
boot=$!
cmake --preset win32 >/dev/null
cmake --build --preset win32
wait "$boot" || { cat build/wine-prefix/boot.log; echo "wineboot failed"; exit 1; }

for preset in win32 win64; do
  cmake --workflow --preset "$preset"
done
