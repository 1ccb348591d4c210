#!/usr/bin/env bash
# Builds the 32- and 64-bit Windows DLLs, the tests and zarn_host.exe with
# mingw-w64 and runs the tests under Wine, headless, with a Wine prefix of its
# own inside build/. Usage: tools/test-windows.sh [jobs]
#
# The 64-bit build runs every test. The 32-bit build leaves out the
# validator's checks against deliberately broken panels (validate.broken.*,
# validate.xy_router.*): the same validator code at either width, and the
# longest part of the Wine tests; it runs everything whose width matters (the
# libraries, the panels, the loader, the golden trace, the validator on the
# project's panels, the served host, the bridges against their peers).
#
# After the 64-bit tests, the browser tests tagged @wine (the K7 panel loaded,
# takes by names, crash restore, record and replay) drive zarn_host.exe under
# Wine from Linux Chromium; through wine64, which runs the program in its own
# process, so that the tests' Ctrl+C (SIGINT) reaches it.
# The other browser tests check the page and the host's options: the same
# code whichever build serves them, and on Linux in the browser stage.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-$(nproc)}
win32_leaves_out='^validate[.](broken|xy_router)[.]'

export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
# Under load Wine now and then fails to start a program at all (the test
# "fails" in 0.00 s with no output): the win32 and win64 test presets run a
# failed test once more, so a test fails when it fails twice. The same code's
# tests run once, with no second try, in the Linux stages.
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs CTEST_PARALLEL_LEVEL=$jobs
rm -rf build/win32 build/win64 "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A persistent server for the whole run, stopped however the run ends.
trap 'wineserver -k 2>/dev/null || true' EXIT
wineserver -p
# The prefix's first start takes a while: it runs while the win32 build
# compiles.
wineboot -i >build/wine-prefix/boot.log 2>&1 &
boot=$!
cmake --preset win32 >/dev/null
cmake --build --preset win32
wait "$boot" || { cat build/wine-prefix/boot.log; echo "wineboot failed"; exit 1; }
ctest --preset win32 -E "$win32_leaves_out"
cmake --workflow --preset win64
(cd tests/browser \
  && { [ -d node_modules ] || PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error; } \
  && ZARN_HOST_EMULATOR="$(command -v wine64 || echo /usr/lib/wine/wine64)" ZARN_BUILD_DIR=../../build/win64 npx playwright test --grep @wine)
