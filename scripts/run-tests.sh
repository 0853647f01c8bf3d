#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/run-tests.sh [--sanitize]
# --sanitize builds into build-asan with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"

if [ "${1:-}" = "--sanitize" ]; then
  dir=$root/build-asan
  bash "$root/scripts/build.sh" --sanitize "$dir"
else
  dir=$root/build
  bash "$root/scripts/build.sh" "$dir"
fi

jobs=$(nproc 2>/dev/null || echo 2)
ctest --test-dir "$dir" -j "$jobs" --output-on-failure
