#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the host need.
# Only missing packages are installed.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
          clang libclang-rt-14-dev g++-multilib valgrind)
# --bench: also Qt's core library, which only the benchmarks' QString
# comparison uses (tools/run-benchmarks.sh).
if [ "${1:-}" = --bench ]; then
  packages+=(qtbase5-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
