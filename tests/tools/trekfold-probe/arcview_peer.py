#!/usr/bin/env python3
"""ArcView played by a peer on "arcview|system": the main window finds it,
sends it a shapefile with the exact execute string, and loads what the peer
writes for "GPS.DatatoGarmin" once it creates the ".done" flag file."""
import json, os, socket, subprocess, sys, tempfile, threading

probe = sys.argv[1]
run = tempfile.mkdtemp()
env = dict(os.environ, TREKFOLD_DDE_DIR=run + "/dde", TREKFOLD_WINDOWS_DIR=run + "/win", TMPDIR=run + "/tmp",
           QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
os.makedirs(run + "/tmp")
os.makedirs(run + "/dde", mode=0o700)
got = []

def serve(name, on_execute):
    s = socket.socket(socket.AF_UNIX)
    s.bind(run + "/dde/" + name)
    s.listen(8)
    def loop():
        while True:
            c, _ = s.accept()
            f = c.makefile("rwb")
            for line in f:
                m = json.loads(line)
                got.append(m)
                f.write(b'{"ok":true}\n')
                f.flush()
                if m["op"] == "execute":
                    on_execute(m["data"])
    threading.Thread(target=loop, daemon=True).start()

def datatogarmin(data):
    if "GPS.DatatoGarmin" not in data:
        return
    path = data.rsplit('"', 2)[-2]
    csv = run + "/pts.csv"
    open(csv, "w").write("ident,comment,lat,long,WKT\nP1,c1,45,-93,POINT (-93 45)\nP2,c2,46,-94,POINT (-94 46)\n")
    subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", path, csv], check=True, capture_output=True)
    open(path + ".done", "w").close()

serve("arcview|system", datatogarmin)
serve("landview|whereform", lambda d: None)

def probe_run(*words):
    out = subprocess.run([probe, *words], env=env, capture_output=True, text=True, timeout=600).stdout
    return [json.loads(l) for l in out.splitlines() if l.startswith("{")]

failures = []
def check(cond, what):
    if not cond:
        failures.append(what)

lines = probe_run("menu", "mnuRefreshApps", "menus")
check({"caption": "Ostrevane - Garmin / Arcview / Landview "} in lines, "caption names both peers")
menus = [l["menus"] for l in lines if "menus" in l][0]
check(menus["mnuArcViewS"]["enabled"] and menus["mnuLandviewL"]["enabled"], "their menus enabled")

shp = run + "/a.shp"
lines = probe_run("row", "ident=A", "lat=45", "long=-93", "filter", "2", "answer", shp, "menu", "mnuShapefile")
check({"status": "Sent information to ArcView"} in lines, "send status")
sent = [m["data"] for m in got if m["op"] == "execute"]
check(sent == ['av.run("GPS.ReceiveGarminFile",{"' + shp + '","shapefile"})'], "execute string: %r" % sent)
info = subprocess.run(["ogrinfo", "-q", "-al", shp], capture_output=True, text=True).stdout
check("ident (String) = A" in info, "ogrinfo reads the sent file")

del got[:]
open(run + "/tmp/trkfld.shp.done", "w").close()  # stale: must not end the wait early
lines = probe_run("menu", "mnuAVTheme", "table")
rows = [l for l in lines if "row" in l]
check([r.get("ident") for r in rows] == ["P1", "P2"], "theme load rows: %r" % rows)
check(not os.path.exists(run + "/tmp/trkfld.shp.done"), ".done removed")
sent = [m["data"] for m in got if m["op"] == "execute"]
check(sent == ['av.run("GPS.DatatoGarmin",{"Shapefile","","' + run + '/tmp/trkfld.shp"})'], "load string: %r" % sent)

for f in failures:
    print("FAILED:", f)
print("%d passed, %d failed" % (7 - len(failures), len(failures)))
sys.exit(1 if failures else 0)
