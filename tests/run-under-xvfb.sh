#!/usr/bin/env bash
# Runs a command on a private Xvfb server, optionally with a compositing
# manager. Each call picks its own display, so tests may run in parallel.
#   run-under-xvfb.sh [--compositor] [--size WxH] command [args...]
set -u
compositor=0
size=1920x1080
while [ $# -gt 0 ]; do
  case "$1" in
    --compositor) compositor=1; shift ;;
    --size) size=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--compositor] [--size WxH] command..." >&2; exit 2; }

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp +extension GLX +extension Composite 3>"$fifo" \
  >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display <"$fifo"
rm -f "$fifo"
if [ -z "${display:-}" ]; then
  echo "run-under-xvfb: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb

comp_pid=
if [ "$compositor" = 1 ]; then
  xcompmgr >/dev/null 2>&1 &
  comp_pid=$!
  sleep 0.5
fi

cleanup() {
  [ -n "$comp_pid" ] && kill "$comp_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

# KV_TEST_PRELOAD: libraries the command (not Xvfb) keeps loaded; see cmake/KvTesting.cmake.
if [ -n "${KV_TEST_PRELOAD:-}" ]; then
  LD_PRELOAD=$KV_TEST_PRELOAD "$@"
else
  "$@"
fi
rc=$?
exit $rc
