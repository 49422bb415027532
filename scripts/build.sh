#!/usr/bin/env bash
# Configures and builds both builds from the one CMake tree:
#   build/native   Linux, with AddressSanitizer + UndefinedBehaviorSanitizer
#   build/windows  Windows x64 with mingw-w64, tests run under Wine
# usage: scripts/build.sh [native|windows|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

which=${1:-all}
jobs=$(nproc)

if [[ $which == native || $which == all ]]; then
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DBXF_SANITIZE=ON >/dev/null
  cmake --build build/native -j"$jobs"
fi
if [[ $which == windows || $which == all ]]; then
  cmake -S . -B build/windows -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
  cmake --build build/windows -j"$jobs"
fi
