#!/usr/bin/env bash
# Installs the Debian 12 packages a task needs; only missing ones are installed.
#
#   tools/install-deps.sh demo    building zarn_host without its served page
#                                 and bridges, and the panels: the demo
#                                 (tools/run-demo.sh)
#   tools/install-deps.sh build   building the whole zarn_host and the panels:
#                                 the served panel (tools/serve-k7.sh)
#   tools/install-deps.sh sdk     build, plus the SDK's API reference (doxygen)
#                                 and its Debian package (cpack): the guide
#                                 docs/WRITING_A_PANEL.md
#   tools/install-deps.sh all     everything tools/test-all.sh runs: tests,
#                                 sanitizers, valgrind, 32-bit and Windows
#                                 builds under Wine, browser tests, lintian
#                                 (the default, as before profiles existed)
#   tools/install-deps.sh --bench all, plus Qt's core library for the
#                                 benchmarks' QString comparison
#                                 (tools/run-benchmarks.sh)
set -euo pipefail
profile=${1:-all}
# The demo: compiler, CMake, and the header-only libraries of zarn_host's
# core (JSON, command line).
demo=(cmake g++ make nlohmann-json3-dev libcli11-dev)
# The build: the demo's, the header-only libraries of the browser front-end
# (HTTP) and the bridges (Asio), and OpenSSL for the front-end's TLS and
# password files.
build=("${demo[@]}" pkg-config libcpp-httplib-dev libasio-dev libssl-dev)
sdk=(doxygen dpkg-dev file)
all=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev g++-multilib valgrind lintian
     python3-jsonschema
     # The browser tests (Playwright drives Debian's chromium).
     chromium
     # The Windows builds: mingw-w64 cross compilers (-posix: std::mutex for
     # GoogleTest) and binutils, clang and lld for the Microsoft-ABI test host,
     # Wine for 64- and 32-bit programs, GoogleTest's sources.
     g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
     lld-14 wine wine64 wine32:i386 googletest
     # 32-bit programs on a kernel that runs none (tools/detect-32bit.sh), and
     # the CPU burners of tools/test-all.sh --load.
     qemu-user stress-ng)
case "$profile" in
  demo) packages=("${demo[@]}") ;;
  build) packages=("${build[@]}") ;;
  sdk) packages=("${build[@]}" "${sdk[@]}") ;;
  all) packages=("${build[@]}" "${sdk[@]}" "${all[@]}") ;;
  --bench) packages=("${build[@]}" "${sdk[@]}" "${all[@]}" qtbase5-dev) ;;
  *) echo "usage: $0 [demo | build | sdk | all | --bench]" >&2; exit 2 ;;
esac
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
need_update=""
if [ "$profile" = all ] || [ "$profile" = --bench ]; then
  command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
  # wine32 is a package of the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    need_update="yes"
  fi
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] || need_update="yes"
if [ -n "$need_update" ]; then
  $sudo apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# zarn_host.exe's front-end: cpp-httplib's whole header for the Windows builds.
if [ "$profile" = all ] || [ "$profile" = --bench ]; then
  "$(dirname "$0")/install-httplib-windows.sh"
fi
