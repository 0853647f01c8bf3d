#!/usr/bin/env bash
# Configures and builds the project.
#   scripts/build.sh [--qt6] [--sanitize] [build-dir]
# Default build dirs: build (normal), build-asan (--sanitize); with --qt6 (Qt 6
# instead of Qt 5) build-qt6 and build-qt6-asan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

qt=5
sanitize=0
if [ "${1:-}" = "--qt6" ]; then qt=6; shift; fi
if [ "${1:-}" = "--sanitize" ]; then sanitize=1; shift; fi
suffix=""
[ $qt = 6 ] && suffix=-qt6
if [ $sanitize = 1 ]; then dir=${1:-$root/build$suffix-asan}; else dir=${1:-$root/build$suffix}; fi

args=(-DKV_WERROR=ON -DKV_QT_MAJOR=$qt)
source "$root/scripts/ccache.sh"
args+=("${kv_ccache_args[@]}")
if [ $sanitize = 1 ]; then
  args+=(-DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DKV_BUILD_BENCH=OFF)
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$dir" "${args[@]}"
cmake --build "$dir" -j "$jobs"
