#!/usr/bin/env bash
# Configures and builds the project.
#   scripts/build.sh [--sanitize] [build-dir]
# Default build dirs: build (normal), build-asan (--sanitize).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

sanitize=0
if [ "${1:-}" = "--sanitize" ]; then sanitize=1; shift; fi
if [ $sanitize = 1 ]; then dir=${1:-$root/build-asan}; else dir=${1:-$root/build}; fi

args=(-DKV_WERROR=ON)
# A compiler cache, where the machine has one, makes rebuilds of unchanged
# sources (CI after a session, the sanitizer build) much cheaper.
if command -v ccache >/dev/null 2>&1; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ $sanitize = 1 ]; then
  args+=(-DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DKV_BUILD_BENCH=OFF)
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$dir" "${args[@]}"
cmake --build "$dir" -j "$jobs"
