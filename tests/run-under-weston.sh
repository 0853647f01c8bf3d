#!/usr/bin/env bash
# Runs a command as a client of a private headless Weston (GL renderer, so its
# screenshooter works; debug protocol on for it). Each call has its own
# runtime directory and socket, so tests may run in parallel, also as root.
#   run-under-weston.sh [--size WxH] command [args...]
# The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR, QT_QPA_PLATFORM=wayland
# and no DISPLAY.
set -u
size=1280x800
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--size WxH] command..." >&2; exit 2; }
command -v weston >/dev/null || { echo "run-under-weston: weston is not installed" >&2; exit 1; }

runtime=$(mktemp -d)
chmod 700 "$runtime"
socket=kv-weston-$$
# A plain background and no panel: the pictures hold only the clients.
cat >"$runtime/weston.ini" <<INI
[core]
idle-time=0
[shell]
background-color=0xff303030
panel-position=none
locking=false
animation=none
close-animation=none
startup-animation=none
INI

XDG_RUNTIME_DIR=$runtime weston --config="$runtime/weston.ini" --backend=headless-backend.so \
  --use-gl --debug --socket="$socket" --width="${size%x*}" --height="${size#*x}" \
  >"$runtime/weston.log" 2>&1 &
weston_pid=$!
cleanup() {
  kill "$weston_pid" 2>/dev/null
  wait "$weston_pid" 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT

for _ in $(seq 100); do
  [ -S "$runtime/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -S "$runtime/$socket" ]; then
  echo "run-under-weston: weston did not start:" >&2
  cat "$runtime/weston.log" >&2
  exit 1
fi

export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland
unset DISPLAY
# KV_TEST_PRELOAD: libraries the command keeps loaded; see cmake/KvTesting.cmake.
if [ -n "${KV_TEST_PRELOAD:-}" ]; then
  LD_PRELOAD=$KV_TEST_PRELOAD "$@"
else
  "$@"
fi
