#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/run-tests.sh [--qt6] [--sanitize] [ctest arguments...]
# --sanitize builds into build-asan with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite there. --qt6 builds
# for Qt 6 instead of Qt 5, into build-qt6 (build-qt6-asan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"

opts=()
suffix=""
if [ "${1:-}" = "--qt6" ]; then opts+=(--qt6); suffix=-qt6; shift; fi
if [ "${1:-}" = "--sanitize" ]; then
  dir=$root/build$suffix-asan
  bash "$root/scripts/build.sh" "${opts[@]}" --sanitize "$dir"
  shift
else
  dir=$root/build$suffix
  bash "$root/scripts/build.sh" "${opts[@]}" "$dir"
fi

jobs=$(nproc 2>/dev/null || echo 2)
ctest --test-dir "$dir" -j "$jobs" --output-on-failure "$@"
