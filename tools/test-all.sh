#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds from scratch and runs every test:
# warnings as errors (with the fuzzers' seed corpora replayed as tests), again
# under AddressSanitizer + UndefinedBehaviorSanitizer, a leak check under
# valgrind, the 32-bit build of the libraries and their tests, the browser
# tests of zarn_host's page, the Windows DLLs with their tests under Wine, a
# short run of every fuzzer under libFuzzer, and a panel built out of tree
# against the installed SDK and its Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/install-deps.sh
jobs=$(nproc)
fuzz_seconds=${ZARN_FUZZ_SECONDS:-30}

stage() {
  echo "== $*"
  SECONDS=0
}
done_stage() {
  echo "   ($SECONDS s)"
}

stage "plain build (warnings as errors)"
rm -rf build/ci
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
# The bridges' interoperability peers (CTest label interop) for this and the sanitizer stage.
(cd tests/interop && npm ci --no-audit --no-fund --loglevel=error)
ctest --preset ci -j "$jobs"
done_stage

stage "browser tests (Playwright, headless Debian chromium, the K7 panel served by zarn_host)"
(cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error \
  && ZARN_BUILD_DIR=../../build/ci npx playwright test)
done_stage

stage "AddressSanitizer + UndefinedBehaviorSanitizer"
rm -rf build/asan
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j "$jobs"
done_stage

stage "leak check (valgrind memcheck)"
# The frame, panel and alarm tests and every fuzzer's corpus, on the plain
# build. The allocation tests replace the global allocator and are left out.
valgrind_run() {
  valgrind -q --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 "$@" >build/ci/valgrind.log 2>&1 \
    || { cat build/ci/valgrind.log; echo "valgrind: $1 failed"; exit 1; }
}
for test in script_frame/script_frame_tests k7_mon/k7_mon_tests alarm/alarm_tests robustness/host_layout_tests; do
  valgrind_run "build/ci/tests/$test"
done
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  valgrind_run "build/ci/fuzz/$name" "$corpus"
done
done_stage

stage "32-bit build (-m32: the host's record layout)"
rm -rf build/m32
cmake --preset m32 >/dev/null
cmake --build --preset m32 -j "$jobs"
ctest --preset m32 -j "$jobs"
done_stage

stage "Windows DLLs and tests (mingw-w64; tests, Microsoft-ABI host, zarn_host.exe and its validator under Wine)"
./tools/test-windows.sh "$jobs"
done_stage

stage "fuzzers (libFuzzer, ASan + UBSan, ${fuzz_seconds} s each)"
rm -rf build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
./fuzz/run-fuzzers.sh build/fuzz "$fuzz_seconds"
done_stage

stage "SDK: installed package, panel template out of tree, API reference, Debian package"
# Follows docs/WRITING_A_PANEL.md twice: with the SDK built from this checkout
# into a folder (its API reference too, warnings as errors), then with the
# .deb made from that build, installed by apt-get (and removed again).
./tools/run-panel-guide.sh prefix >build/panel-guide-prefix.log 2>&1 \
  || { cat build/panel-guide-prefix.log; echo "the guide failed with the SDK in a folder"; exit 1; }
sdk_build=build/panel-guide/prefix/zarn-build
# The installed zarn_add_panel keeps every symbol but the entry point local.
cmake -DNM=nm -DLIBRARY=build/panel-guide/prefix/my_panel/build/libmy_panel.so -P tests/k7_mon/check_exports.cmake
(cd "$sdk_build" && cpack) >build/cpack.log 2>&1 || { cat build/cpack.log; echo "cpack failed"; exit 1; }
version=$("$sdk_build/host/zarn_host" --version | cut -d' ' -f2)
deb=$sdk_build/zarn-script-frame-dev_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$sdk_build"/*.deb; echo "no $deb: the package and zarn_host disagree on the version"; exit 1; }
grep -q "set(PACKAGE_VERSION \"$version\")" \
  build/panel-guide/prefix/zarn-sdk/lib/cmake/zarn_script_frame/zarn_script_frameConfigVersion.cmake \
  || { echo "the package config does not carry version $version"; exit 1; }
grep -q "/api/index.html" <<<"$(dpkg-deb -c "$deb")" || { echo "$deb lacks the API reference"; exit 1; }
echo "   $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
./tools/run-panel-guide.sh deb "$deb" >build/panel-guide-deb.log 2>&1 \
  || { cat build/panel-guide-deb.log; echo "the guide failed with the Debian package"; exit 1; }
done_stage

echo "== all tests passed"
