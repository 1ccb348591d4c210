#!/usr/bin/env bash
# Builds the 32- and 64-bit Windows DLLs, the tests and zarn_host.exe with
# mingw-w64 and runs the tests under Wine, headless, with a Wine prefix of its
# own inside build/. Usage: tools/test-windows.sh [jobs] [counts file]
#
# The 64-bit build runs every test. The 32-bit build leaves out the
# validator's checks against deliberately broken panels (validate.broken.*,
# validate.xy_router.*): the same validator code at either width, and the
# longest part of the Wine tests; it runs everything whose width matters (the
# libraries, the panels, the loader, the golden trace, the validator on the
# project's panels, the served host, the bridges against their peers).
#
# On a machine that runs no 32-bit programs (tools/detect-32bit.sh) Wine runs
# no 32-bit Windows program either: the prefix is booted by wine64 and the
# 32-bit build is built, its tests reported as not run with the reason.
#
# After the 64-bit tests, the browser tests tagged @wine (the K7 panel loaded,
# takes by names, crash restore, record and replay) drive zarn_host.exe under
# Wine from Linux Chromium; through wine64, which runs the program in its own
# process, so that the tests' Ctrl+C (SIGINT) reaches it.
# The other browser tests check the page and the host's options: the same
# code whichever build serves them, and on Linux in the browser stage.
#
# The counts file, when given, gets one line per build: "win32 RUN NOT_RUN
# STARTED_TWICE REASON".
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-$(nproc)}
counts=${2:-/dev/null}
win32_leaves_out='^validate[.](broken|xy_router)[.]'
: "${ZARN_RUNS_32BIT:=}"
if [ -z "$ZARN_RUNS_32BIT" ]; then
  eval "$(./tools/detect-32bit.sh)"
fi
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)

export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs CTEST_PARALLEL_LEVEL=$jobs
rm -rf build/win32 build/win64 "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
: >"$counts"
# A persistent server for the whole run, stopped however the run ends.
trap 'wineserver -k 2>/dev/null || true' EXIT
wineserver -p
# The prefix's first start takes a while: it runs while the win32 build
# compiles. Where 32-bit programs do not run, Debian's wine script would
# choose the 32-bit loader: wine64 boots the prefix itself.
if [ "$ZARN_RUNS_32BIT" = yes ]; then
  wineboot -i >build/wine-prefix/boot.log 2>&1 &
else
  "$wine64" wineboot -i >build/wine-prefix/boot.log 2>&1 &
fi
boot=$!

# wine_tests PRESET [CTEST ARGS...]: runs a preset's tests once. Under load
# Wine now and then fails to start a program at all: such a test fails with no
# output whatever (a started test program prints before anything can fail).
# Those, and only those, run once more, and are counted; a test that ran and
# failed is never run again. Sets wine_result to "RUN NOT_RUN STARTED_TWICE".
wine_tests() {
  local preset=$1
  shift
  local junit="$PWD/build/$preset/tests.xml"
  local status=0
  ctest --preset "$preset" --output-junit "$junit" "$@" || status=$?
  local counted run not_run started_twice unstarted
  counted=$(python3 tools/ctest-junit.py count "$junit")
  read -r run not_run <<<"$counted"
  unstarted=$(python3 tools/ctest-junit.py unstarted "$junit")
  started_twice=0
  if [ "$status" -ne 0 ]; then
    local failed
    failed=$(python3 tools/ctest-junit.py failed "$junit")
    if [ -z "$failed" ] || [ "$failed" != "$unstarted" ]; then
      echo "Windows tests ($preset) failed"
      return 1
    fi
    started_twice=$(wc -w <<<"$unstarted")
    echo "-- $started_twice test(s) of $preset never started (Wine failed to start the program; no output): starting once more:"
    echo "   $unstarted"
    ctest --preset "$preset" -R "^($(tr ' ' '|' <<<"$unstarted" | sed 's/[.]/[.]/g'))\$" \
      || { echo "Windows tests ($preset) failed when started again"; return 1; }
  fi
  wine_result="$run $not_run $started_twice"
}

cmake --preset win32 >/dev/null
cmake --build --preset win32
wait "$boot" || { cat build/wine-prefix/boot.log; echo "wineboot failed"; exit 1; }
if [ "$ZARN_RUNS_32BIT" = yes ]; then
  wine_tests win32 -E "$win32_leaves_out"
  echo "win32 $wine_result" >>"$counts"
else
  not_run=$(ctest --preset win32 -N -E "$win32_leaves_out" | sed -n 's/^Total Tests: //p')
  echo "-- the win32 tests are not run: $ZARN_NO_32BIT_REASON"
  echo "win32 0 $not_run 0 $ZARN_NO_32BIT_REASON" >>"$counts"
fi

cmake --preset win64 >/dev/null
cmake --build --preset win64
wine_tests win64
read -r run not_run twice <<<"$wine_result"
(cd tests/browser \
  && { [ -d node_modules ] || PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error; } \
  && ZARN_HOST_EMULATOR="$wine64" ZARN_BUILD_DIR=../../build/win64 npx playwright test --grep @wine) \
  | tee build/win64/browser.log
browser_run=$(sed -n 's/^ *\([0-9]*\) passed.*/\1/p' build/win64/browser.log | tail -n 1)
echo "win64 $((run + ${browser_run:-0})) $not_run $twice" >>"$counts"
