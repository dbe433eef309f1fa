#!/usr/bin/env bash
# Starts trekfold minimised with a fresh settings folder, ends it with
# SIGTERM (or the signal named by the second argument) after three seconds and checks that it shut down normally (exit
# status 0) and that start-up stored the refresh period and the four default
# field lists.
set -u
prog="$1"
sig="${2:-TERM}"
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
XDG_CONFIG_HOME=$cfg QT_QPA_PLATFORM=offscreen "$prog" minimize &
pid=$!
sleep 3
kill -$sig $pid
wait $pid
rc=$?
if [ $rc -ne 0 ]; then echo "exit status $rc"; exit 1; fi
ini=$cfg/trekfold/trekfold.ini
[ -f "$ini" ] || { echo "no $ini"; exit 1; }
# The value of a key within a section.
value() { awk -v s="[$1]" -v k="$2" '$0==s{on=1;next} /^\[/{on=0} on && index($0,k"=")==1{print substr($0,length(k)+2)}' "$ini"; }
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
