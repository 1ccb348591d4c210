#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds from scratch and runs every test:
# warnings as errors (with the fuzzers' seed corpora replayed as tests), the
# browser tests of zarn_host's page, again with clang under AddressSanitizer +
# UndefinedBehaviorSanitizer with the fuzzers linked with libFuzzer and a
# short run of each, a leak check under valgrind, the 32-bit build of the
# libraries and their tests, the Windows DLLs with their tests under Wine, and
# a panel built out of tree against the installed SDK and its Debian package.
# Ends with a table of the stages: time, tests run, not run (with the reason)
# and started twice.
#
#   tools/test-all.sh          the whole run
#   tools/test-all.sh --load   the same with two CPU burners beside it
#                              (stress-ng, ended with the run): what holds
#                              here must hold on a busy machine
set -euo pipefail
cd "$(dirname "$0")/.."
load=""
case "${1:-}" in
  "") ;;
  --load) load=yes ;;
  *) echo "usage: $0 [--load]" >&2; exit 2 ;;
esac
./tools/install-deps.sh all
jobs=$(nproc)
fuzz_seconds=${ZARN_FUZZ_SECONDS:-10}
# The parallelism of every build and ctest run below, cmake --workflow's included.
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs CTEST_PARALLEL_LEVEL=$jobs
# Whether 32-bit programs run here, natively or through qemu-i386 (the m32
# preset reads ZARN_M32_EMULATOR; tools/test-windows.sh the rest).
eval "$(./tools/detect-32bit.sh)"
export ZARN_RUNS_32BIT ZARN_M32_EMULATOR ZARN_NO_32BIT_REASON
mkdir -p build/logs
if [ -n "$load" ]; then
  stress-ng --cpu 2 --timeout 90m --quiet &
  burners=$!
fi

# The table printed at the end, however the run ends: one row a stage.
rows=()
current=""
summary() {
  local status=$?
  [ -z "${burners:-}" ] || kill "$burners" 2>/dev/null || true
  [ -z "$current" ] || rows+=("$current|$SECONDS|FAILED||")
  echo
  echo "== summary${load:+ (under load: two CPU burners)}"
  printf '   %-34s %7s %6s %8s %13s\n' stage time run "not run" "started twice"
  local row title time run not_run twice
  for row in "${rows[@]}"; do
    IFS='|' read -r title time run not_run twice <<<"$row"
    printf '   %-34s %6ss %6s %8s %13s\n' "$title" "$time" "$run" "$not_run" "$twice"
  done
  printf '   %-34s %6ss\n' total $((total_start > 0 ? $(date +%s) - total_start : 0))
  for row in "${notes[@]}"; do echo "   $row"; done
  exit "$status"
}
notes=()
[ "$ZARN_RUNS_32BIT" = yes ] || notes+=("the 32-bit build's tests ran through qemu-i386: $ZARN_NO_32BIT_REASON")
total_start=$(date +%s)
trap summary EXIT

# stage NAME TITLE COMMAND...: runs one stage, prints its time and adds its
# row to the summary; the command may set the row's counts (stage_run,
# stage_not_run, stage_twice).
stage() {
  local name=$1 title=$2
  shift 2
  echo "== $title"
  current=$name
  stage_run="-" stage_not_run="-" stage_twice="-"
  SECONDS=0
  "$@"
  rows+=("$name|$SECONDS|$stage_run|$stage_not_run|$stage_twice")
  current=""
  echo "   ($SECONDS s)"
}
# logged LOG MESSAGE COMMAND...: runs the command with its output in LOG;
# on failure prints LOG and MESSAGE and stops.
logged() {
  local log=$1 message=$2
  shift 2
  "$@" >"$log" 2>&1 || { cat "$log"; echo "$message"; exit 1; }
}
# A preset's workflow (configure, build, test) in a build folder of its own,
# from scratch; its tests counted from ctest's JUnit file.
workflow() {
  rm -rf "build/$1"
  cmake --workflow --preset "$1"
  local counted
  counted=$(python3 tools/ctest-junit.py count "build/$1/tests.xml")
  read -r stage_run stage_not_run <<<"$counted"
}

browser_tests() {
  (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error \
    && ZARN_BUILD_DIR=../../build/ci npx playwright test) | tee build/logs/browser.log
  stage_run=$(sed -n 's/^ *\([0-9]*\) passed.*/\1/p' build/logs/browser.log | tail -n 1)
  stage_not_run=$(sed -n 's/^ *\([0-9]*\) skipped.*/\1/p' build/logs/browser.log | tail -n 1)
  stage_not_run=${stage_not_run:-0}
}

fuzzers() {
  ./fuzz/run-fuzzers.sh build/asan "$fuzz_seconds"
  stage_run=$(find fuzz/corpus -mindepth 1 -maxdepth 1 -type d | wc -l)
}

# The Windows builds' two rows folded into one; the 32-bit tests not run
# where 32-bit programs do not run, said with the reason.
windows() {
  ./tools/test-windows.sh "$jobs" build/logs/windows.counts
  local name run not_run twice reason
  stage_run=0 stage_not_run=0 stage_twice=0
  while read -r name run not_run twice reason; do
    stage_run=$((stage_run + run)) stage_not_run=$((stage_not_run + not_run)) stage_twice=$((stage_twice + twice))
    [ "$not_run" -eq 0 ] || notes+=("$not_run $name tests not run: $reason")
  done <build/logs/windows.counts
  [ "$stage_twice" -eq 0 ] || notes+=("$stage_twice Windows tests started twice (Wine failed to start the program the first time)")
}

# The frame, panel and alarm tests and every fuzzer's corpus, on the plain
# build. The allocation tests replace the global allocator and are left out.
leak_check() {
  local test corpus
  stage_run=0
  for test in script_frame/script_frame_tests k7_mon/k7_mon_tests alarm/alarm_tests robustness/host_layout_tests; do
    valgrind_run "build/ci/tests/$test"
  done
  for corpus in fuzz/corpus/*/; do
    valgrind_run "build/ci/fuzz/$(basename "$corpus")" "$corpus"
  done
}
valgrind_run() {
  stage_run=$((stage_run + 1))
  logged build/ci/valgrind.log "valgrind: $1 failed" \
    valgrind -q --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 "$@"
}

# Follows docs/WRITING_A_PANEL.md twice: with the SDK built from this checkout
# into a folder (its API reference too, warnings as errors), then with the
# .deb made from that build, installed by apt-get (and removed again).
sdk() {
  logged build/panel-guide-prefix.log "the guide failed with the SDK in a folder" ./tools/run-panel-guide.sh prefix
  local sdk_build=build/panel-guide/prefix/zarn-build
  # The installed zarn_add_panel keeps every symbol but the entry point local.
  cmake -DNM=nm -DLIBRARY=build/panel-guide/prefix/my_panel/build/libmy_panel.so -P tests/k7_mon/check_exports.cmake
  (cd "$sdk_build" && logged "$OLDPWD/build/cpack.log" "cpack failed" cpack)
  local version deb
  version=$("$sdk_build/host/zarn_host" --version | cut -d' ' -f2)
  # Packaging revision 1 of the version (ZARN_DEB_RELEASE).
  deb=$sdk_build/zarn-script-frame-dev_${version}-1_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || { ls "$sdk_build"/*.deb; echo "no $deb: the package and zarn_host disagree on the version"; exit 1; }
  grep -q "set(PACKAGE_VERSION \"$version\")" \
    build/panel-guide/prefix/zarn-sdk/lib/cmake/zarn_script_frame/zarn_script_frameConfigVersion.cmake \
    || { echo "the package config does not carry version $version"; exit 1; }
  grep -q "/api/index.html" <<<"$(dpkg-deb -c "$deb")" || { echo "$deb lacks the API reference"; exit 1; }
  echo "   $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
  # The installed guides, template, manual page and headers name only installed files.
  ./tools/check-installed-docs.sh build/panel-guide/prefix/zarn-sdk
  ./tools/check-installed-docs.sh "$deb"
  # No error or warning (debian/lintian-overrides says why a tag is overridden).
  logged build/lintian.log "lintian found faults in $deb" \
    lintian --fail-on error,warning --display-info "$deb"
  cat build/lintian.log
  logged build/panel-guide-deb.log "the guide failed with the Debian package" ./tools/run-panel-guide.sh deb "$deb"
  # The panel's own tests in both runs of the guide.
  stage_run=$(cat build/panel-guide-prefix.log build/panel-guide-deb.log \
    | sed -n 's/.*tests failed out of \([0-9]*\)$/\1/p' | awk '{ n += $1 } END { print n + 0 }')
}

# The bridges' interoperability peers (CTest label interop), for the plain and the sanitizer stage.
(cd tests/interop && npm ci --no-audit --no-fund --loglevel=error)

stage plain "plain build (warnings as errors; with the SDK's 1.0 and current panel templates built against this build installed)" \
  workflow ci
stage browser "browser tests (Playwright, headless Debian chromium, the K7 panel served by zarn_host)" browser_tests
stage asan "AddressSanitizer + UndefinedBehaviorSanitizer (clang; the sanitizer options are the asan test preset's)" workflow asan
stage fuzzers "fuzzers (the asan build's, linked with libFuzzer, ${fuzz_seconds} s each)" fuzzers
stage valgrind "leak check (valgrind memcheck)" leak_check
stage m32 "32-bit build (-m32: the host's record layout${ZARN_M32_EMULATOR:+; tests through qemu-i386})" workflow m32
stage windows "Windows DLLs and tests (mingw-w64; tests, Microsoft-ABI host, zarn_host.exe, its validator and the @wine browser tests under Wine)" \
  windows
stage sdk "SDK: installed package, panel template out of tree, API reference, standalone docs, Debian package (lintian)" sdk

echo "== all tests passed"
