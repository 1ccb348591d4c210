#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the host need.
# Only missing packages are installed.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
          clang libclang-rt-14-dev g++-multilib valgrind
          doxygen dpkg-dev file lintian python3-jsonschema)
# zarn_host's browser front-end and its browser tests (Playwright drives Debian's chromium).
packages+=(pkg-config libcpp-httplib-dev libasio-dev chromium)
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
# The Windows builds: mingw-w64 cross compilers (-posix: std::mutex for
# GoogleTest) and binutils, clang and lld for the Microsoft-ABI test host,
# Wine for 64- and 32-bit programs, GoogleTest's sources.
packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
           lld-14 wine wine64 wine32:i386 googletest)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# wine32 is a package of the i386 architecture.
need_update=""
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  need_update="yes"
fi
# --bench: also Qt's core library, which only the benchmarks' QString
# comparison uses (tools/run-benchmarks.sh).
if [ "${1:-}" = --bench ]; then
  packages+=(qtbase5-dev)
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
