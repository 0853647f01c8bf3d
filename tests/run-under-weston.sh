#!/usr/bin/env bash
# Runs a command as a client of a private Weston (GL renderer, so its
# screenshooter works; debug protocol on for it). Each call has its own
# runtime directory and socket, so tests may run in parallel, also as root.
#   run-under-weston.sh [--x11] [--size WxH] command [args...]
# Headless by default. With --x11 Weston runs on its X11 backend inside a
# private Xvfb: its output is an X window at the outer server's origin, and a
# pointer driven on that server (XTest, xdotool) is Weston's real pointer;
# the command gets the outer server's name in KV_WESTON_X11_DISPLAY.
# The command gets WAYLAND_DISPLAY, XDG_RUNTIME_DIR, QT_QPA_PLATFORM=wayland
# and no DISPLAY.
set -u
size=1280x800
x11=0
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --x11) x11=1; shift ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--x11] [--size WxH] command..." >&2; exit 2; }
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

xvfb_pid=
backend=(--backend=headless-backend.so --use-gl)
if [ "$x11" = 1 ]; then
  command -v Xvfb >/dev/null || { echo "run-under-weston: Xvfb is not installed" >&2; exit 1; }
  fifo="$runtime/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 30 display <"$fifo"
  if [ -z "${display:-}" ]; then
    echo "run-under-weston: Xvfb did not start" >&2
    kill "$xvfb_pid" 2>/dev/null
    rm -rf "$runtime"
    exit 1
  fi
  export KV_WESTON_X11_DISPLAY=":$display"
  backend=(--backend=x11-backend.so)
fi

DISPLAY=${KV_WESTON_X11_DISPLAY:-} XDG_RUNTIME_DIR=$runtime weston --config="$runtime/weston.ini" \
  "${backend[@]}" --debug --socket="$socket" --width="${size%x*}" --height="${size#*x}" \
  >"$runtime/weston.log" 2>&1 &
weston_pid=$!
cleanup() {
  kill "$weston_pid" 2>/dev/null
  wait "$weston_pid" 2>/dev/null
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
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
