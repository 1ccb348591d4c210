#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds from scratch and runs every test:
# warnings as errors (with the fuzzers' seed corpora replayed as tests), the
# browser tests of zarn_host's page, again with clang under AddressSanitizer +
# UndefinedBehaviorSanitizer with the fuzzers linked with libFuzzer and a
# short run of each, a leak check under valgrind, the 32-bit build of the
# libraries and their tests, the Windows DLLs with their tests under Wine, and
# a panel built out of tree against the installed SDK and its Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh all
jobs=$(nproc)
fuzz_seconds=${ZARN_FUZZ_SECONDS:-10}
# The parallelism of every build and ctest run below, cmake --workflow's included.
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs CTEST_PARALLEL_LEVEL=$jobs

# stage TITLE COMMAND...: runs one stage and prints its time.
stage() {
  local title=$1
  shift
  echo "== $title"
  SECONDS=0
  "$@"
  echo "   ($SECONDS s)"
}
# logged LOG MESSAGE COMMAND...: runs the command with its output in LOG;
# on failure prints LOG and MESSAGE and stops.
logged() {
  local log=$1 message=$2
  shift 2
  "$@" >"$log" 2>&1 || { cat "$log"; echo "$message"; exit 1; }
}
# A preset's workflow (configure, build, test) in a build folder of its own, from scratch.
workflow() {
  rm -rf "build/$1"
  cmake --workflow --preset "$1"
}

browser_tests() {
  (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error \
    && ZARN_BUILD_DIR=../../build/ci npx playwright test)
}

# The frame, panel and alarm tests and every fuzzer's corpus, on the plain
# build. The allocation tests replace the global allocator and are left out.
leak_check() {
  local test corpus
  for test in script_frame/script_frame_tests k7_mon/k7_mon_tests alarm/alarm_tests robustness/host_layout_tests; do
    valgrind_run "build/ci/tests/$test"
  done
  for corpus in fuzz/corpus/*/; do
    valgrind_run "build/ci/fuzz/$(basename "$corpus")" "$corpus"
  done
}
valgrind_run() {
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
}

# The bridges' interoperability peers (CTest label interop), for the plain and the sanitizer stage.
(cd tests/interop && npm ci --no-audit --no-fund --loglevel=error)

stage "plain build (warnings as errors; with the SDK's 1.0 and current panel templates built against this build installed)" \
  workflow ci
stage "browser tests (Playwright, headless Debian chromium, the K7 panel served by zarn_host)" browser_tests
stage "AddressSanitizer + UndefinedBehaviorSanitizer (clang; the sanitizer options are the asan test preset's)" workflow asan
stage "fuzzers (the asan build's, linked with libFuzzer, ${fuzz_seconds} s each)" ./fuzz/run-fuzzers.sh build/asan "$fuzz_seconds"
stage "leak check (valgrind memcheck)" leak_check
stage "32-bit build (-m32: the host's record layout)" workflow m32
stage "Windows DLLs and tests (mingw-w64; tests, Microsoft-ABI host, zarn_host.exe, its validator and the @wine browser tests under Wine)" \
  ./tools/test-windows.sh "$jobs"
stage "SDK: installed package, panel template out of tree, API reference, standalone docs, Debian package (lintian)" sdk

echo "== all tests passed"
