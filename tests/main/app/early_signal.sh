#!/usr/bin/env bash
# A signal that arrives while trekfold is still starting (its handlers in
# place, start-up not yet run) ends it normally, SIGINT too when the program
# was started with SIGINT ignored, as a shell starts background jobs.
# With "ready" as the third argument the signal waits instead for the file
# named by TREKFOLD_READY, which must hold the program's process id.
set -u
prog="$1"
sig="${2:-INT}"
mode="${3:-early}"
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
ready="$cfg/ready"
# A projection already chosen and the USB link stored as the port (no
# drives to search), so start-up asks and shows nothing.
mkdir -p "$cfg/trekfold" && printf '[proj]\nproj=4326\nprojfile=epsg\n[port]\nport=0\n' > "$cfg/trekfold/trekfold.ini"
(trap '' INT; TREKFOLD_DRIVES= XDG_CONFIG_HOME=$cfg TREKFOLD_READY=$ready QT_QPA_PLATFORM=offscreen exec "$prog" minimize) &
pid=$!

# Waits (up to 60 s) until the command given succeeds or the program ended.
wait_for() {
  for _ in $(seq 600); do
    "$@" && return 0
    kill -0 $pid 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Whether the program (not the shell that is about to become it: what a
# shell catches reverts to the default at exec) catches SIGINT (bit 1) and
# SIGTERM (bit 14).
exe=$(readlink -f "$prog")
catches_both() {
  local mask
  [ "$(readlink -f /proc/$pid/exe 2>/dev/null)" = "$exe" ] || return 1
  mask=$(awk '/^SigCgt:/ {print $2}' /proc/$pid/status 2>/dev/null)
  [ -n "$mask" ] && (( (16#$mask >> 1) & 1 )) && (( (16#$mask >> 14) & 1 ))
}
has_ready() { [ -s "$ready" ]; }

if [ "$mode" = ready ]; then
  wait_for has_ready || { echo "no ready file"; kill -KILL $pid 2>/dev/null; exit 1; }
  [ "$(cat "$ready")" = "$pid" ] || { echo "ready file holds '$(cat "$ready")', not $pid"; kill -KILL $pid; exit 1; }
else
  wait_for catches_both || { echo "SIGINT and SIGTERM never caught"; kill -KILL $pid 2>/dev/null; exit 1; }
fi
kill -$sig $pid
gone() { ! kill -0 $pid 2>/dev/null; }
wait_for gone
if ! gone; then echo "still running 60 s after SIG$sig"; kill -KILL $pid; exit 1; fi
wait $pid
rc=$?
[ $rc -eq 0 ] || { echo "exit status $rc"; exit 1; }
echo ok
