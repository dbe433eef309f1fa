#!/usr/bin/env bash
# Starts trekfold minimised with a fresh settings folder (only a projection
# chosen), ends it with SIGTERM
# (or the signal named by the second argument) once it is ready, and checks
# that it shut down normally (exit status 0) and that start-up stored the
# refresh period and the four default field lists.
#
# Ready means start-up has stored the field lists: the window's load runs
# from the event loop, after the signal handlers are in place, so a signal
# sent from then on is never lost (a background job starts with SIGINT
# ignored, and SIGTERM's default would kill the program outright). Each wait
# has a deadline generous enough for a busy machine.
set -u
prog="$1"
sig="${2:-TERM}"
limit=120
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
ini=$cfg/trekfold/trekfold.ini
# The value of a key within a section.
value() { awk -v s="[$1]" -v k="$2" '$0==s{on=1;next} /^\[/{on=0} on && index($0,k"=")==1{print substr($0,length(k)+2)}' "$ini" 2>/dev/null; }

# A projection already chosen, so start-up asks nothing (a box would wait
# for an answer).
mkdir -p "$cfg/trekfold" && printf '[proj]\nproj=4326\nprojfile=epsg\n[port]\nport=0\n' > "$ini"
# Nothing of the machine's: no serial device behind the stored port, a temp
# folder of this run's own.
TREKFOLD_DRIVES= XDG_CONFIG_HOME=$cfg TMPDIR=$cfg TREKFOLD_COM1=$cfg/no-such-port QT_QPA_PLATFORM=offscreen "$prog" minimize &
pid=$!

deadline=$((SECONDS + limit))
until [ -n "$(value fields rtimewpt)" ]; do
  if ! kill -0 $pid 2>/dev/null; then
    wait $pid
    echo "trekfold ended (status $?) before it was ready"; exit 1
  fi
  if [ $SECONDS -ge $deadline ]; then
    kill -KILL $pid; echo "trekfold not ready after ${limit} s"; exit 1
  fi
  sleep 0.1
done

kill -$sig $pid
deadline=$((SECONDS + limit))
while kill -0 $pid 2>/dev/null; do
  if [ $SECONDS -ge $deadline ]; then
    kill -KILL $pid; echo "trekfold still running ${limit} s after SIG$sig"; exit 1
  fi
  sleep 0.1
done
wait $pid
rc=$?
if [ $rc -ne 0 ]; then echo "exit status $rc"; exit 1; fi
[ -f "$ini" ] || { echo "no $ini"; exit 1; }
[ "$(value app refresh)" = "10" ] || { echo "app/refresh is '$(value app refresh)'"; exit 1; }
for t in waypoint track route rtimewpt; do
  v=$(value fields $t)
  case "$v" in
    type:1:type:C:10:0,ident:1:ident:C:24:0,lat:1:lat:N:18:8,*filename:1:filename:C:254:0,ltime:1:ltime:C:20:0) ;;
    *) echo "fields/$t is '$v'"; exit 1 ;;
  esac
done
n=$(value fields waypoint | tr ',' '\n' | wc -l)
[ "$n" = "33" ] || { echo "waypoint list has $n entries"; exit 1; }
# Shut-down saved the drive.
[ -n "$(value drive drive)" ] || { echo "drive/drive not saved"; exit 1; }
echo ok
