#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the demo host.
# With a display the host opens its window; without one it runs headless on
# a private X server, writes a screenshot and prints a summary line.
# Arguments are passed on to kvhost (see: scripts/run-demo.sh --help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build" >/dev/null

host=$root/build/bin/kvhost
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ $# -gt 0 ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec "$root/tests/run-under-xvfb.sh" "$host" "$@"
  fi
  exec "$host" "$@"
fi

shot=$root/build/kvhost-screenshot.png
log=$root/build/kvhost.log
echo "run-demo: no display found; running kvhost headless on a private X server"
# The libraries' debug log goes to a file; the host's own lines are printed.
if ! "$root/tests/run-under-xvfb.sh" "$host" --screenshot "$shot" --frames 30 2>"$log"; then
  grep '^kvhost:' "$log" >&2 || tail -n 20 "$log" >&2
  echo "run-demo: kvhost failed; its log is $log" >&2
  exit 1
fi
grep '^kvhost:' "$log" || true
echo "run-demo: screenshot of the demo written to $shot (log: $log)"
echo
echo "run-demo: encoder probe:"
set +e
"$root/build/bin/encprobe"
rc=$?
set -e
echo "run-demo: encprobe exit status $rc (the low 8 bits of its bit mask)"
