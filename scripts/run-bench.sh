#!/usr/bin/env bash
# Builds and runs every benchmark program (build/bin/bench_*), offscreen.
# Arguments are passed on to each program (e.g. --benchmark_filter=History).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build" >/dev/null

export QT_QPA_PLATFORM=offscreen
status=0
for bench in "$root"/build/bin/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" "$@" || status=1
done
exit $status
