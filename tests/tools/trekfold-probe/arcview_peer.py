#!/usr/bin/env python3
"""ArcView played by a peer on "arcview|system": the main window finds it,
sends it a shapefile with the exact execute string, and loads what the peer
writes for "GPS.DatatoGarmin" once it creates the ".done" flag file; during
real-time tracking against the simulator it gets each kept point, the
output shapefile's theme and refreshes, and the end of the graphics."""
import json, os, socket, subprocess, sys, tempfile, threading

import gpsim_unit
from checks import check, finish, parse

probe, gpsim = sys.argv[1], sys.argv[2]
run = tempfile.mkdtemp()
env = dict(os.environ, TREKFOLD_DDE_DIR=run + "/dde", TREKFOLD_WINDOWS_DIR=run + "/win", TMPDIR=run + "/tmp",
           QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
os.makedirs(run + "/tmp")
os.makedirs(run + "/dde", mode=0o700)
got = []
mode = ["done"]  # what the peer does for "GPS.DatatoGarmin": done, error or quit
servers = {}

def serve(name, on_execute):
    s = socket.socket(socket.AF_UNIX)
    s.bind(run + "/dde/" + name)
    s.listen(8)
    servers[name] = s
    def loop():
        while True:
            try:
                c, _ = s.accept()
            except OSError:
                return
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
    if mode[0] == "quit":
        os.unlink(run + "/dde/arcview|system")
        servers["arcview|system"].close()
        return
    if mode[0] == "error":
        open(path + ".error", "w").close()
        return
    csv = run + "/pts.csv"
    open(csv, "w").write("ident,comment,lat,long,WKT\nP1,c1,45,-93,POINT (-93 45)\nP2,c2,46,-94,POINT (-94 46)\n")
    subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", path, csv], check=True, capture_output=True)
    open(path + ".done", "w").close()

serve("arcview|system", datatogarmin)
serve("landview|whereform", lambda d: None)

def probe_run(*words, env=env):
    return parse(subprocess.run([probe, *words], env=env, capture_output=True, text=True, timeout=600).stdout)

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

# A graphic goes as the temporary shapefile; a cancelled save sends nothing.
del got[:]
lines = probe_run("row", "ident=A", "lat=45", "long=-93", "answer", "Point", "menu", "mnuGraphic")
sent = [m["data"] for m in got if m["op"] == "execute"]
check(sent == ['av.run("GPS.ReceiveGarminFile",{"' + run + '/tmp/garmintemp.shp","graphic"})'], "graphic: %r" % sent)
check({"status": "Sent information to ArcView"} in lines, "graphic status")
del got[:]
lines = probe_run("row", "ident=A", "lat=45", "long=-93", "answer", "", "menu", "mnuShapefile")
check(not [m for m in got if m["op"] == "execute"], "a cancelled save sends nothing")

# ".error": the table is left as it was.
mode[0] = "error"
lines = probe_run("row", "ident=KEEP", "lat=45", "long=-93", "menu", "mnuAVTheme", "table")
check([r.get("ident") for r in lines if "row" in r] == ["KEEP"], ".error leaves the table")
check(not os.path.exists(run + "/tmp/trkfld.shp.error"), ".error removed")

# The peer quitting ends the wait, the table unchanged.
mode[0] = "quit"
lines = probe_run("row", "ident=KEEP", "lat=45", "long=-93", "menu", "mnuAVTheme", "table")
check([r.get("ident") for r in lines if "row" in r] == ["KEEP"], "the wait ends once ArcView is gone")

# No peer: the box, then (for a theme only) the load question.
lines = probe_run("wait", "0", "answer", "OK", "answer", "No", "menu", "mnuAVTheme")
b = [(l["box"], l["title"]) for l in lines if "box" in l][-2:]
check(b == [("ArcView not found.  To use Arcview functionality make \nsure Arcview is open and the Garmin extension "
             "is loaded", "ArcView Not Found"), ("Would you like to load data from a file?", "")], "no peer: %r" % b)
lines = probe_run("wait", "0", "answer", "OK", "menu", "mnuAVGraphic")
b = [l["box"] for l in lines if "box" in l]
check(b[-1].startswith("ArcView not found.") and {"unused": []} in lines, "graphic load: no question: %r" % b)

# Real time: per kept fix the display body, the output shapefile's theme and
# one refresh a shape written, the graphics removed at the stop.
mode[0] = "done"
serve("arcview|system", datatogarmin)
del got[:]
scenario = {"product": {"id": 292, "version": 3.0, "descriptions": ["GPSMAP 76"]},
            "protocol_array": ["P000", "L001", "A010", "A100", "D110", "A201", "D202", "D110", "D210", "A301", "D310",
                               "D301", "A600", "D600", "A700", "D700", "A800", "D800"],
            "date_time": {"year": 2006, "month": 7, "day": 4, "hour": 9, "minute": 5, "second": 30},
            "pvt": {"alt": 300.0, "msl_hght": 12.3, "epe": 3.0, "eph": 4.2, "epv": 6.0, "fix": 3},
            "pvt_path": [{"lat": 45.1 + i * 1e-5, "lon": -93.1 - i * 2e-5} for i in range(8)]}
unit, unit_env = gpsim_unit.start(gpsim, run + "/unit", scenario, "--pvt-period", "200")
try:
    rt_shp = run + "/rt.shp"
    lines = probe_run("--port", "3", "setting", "realtime", "showgraphics", "1", "setting", "realtime", "panchk", "1",
                      "setting", "realtime", "panval", "50", "menu", "mnuStartRealTime", "answer", rt_shp, "menu",
                      "frmRealTime.cmdLoad", "menu", "frmRealTime.cmdControls", "1", "until", "rows", "4", "30000",
                      "window", "frmRealTime", "menu", "mnuStopRealTime", "table", env=dict(env, **unit_env))
finally:
    gpsim_unit.stop(unit)
rows = [l for l in lines if "row" in l]
shapes = int([l for l in lines if l.get("window") == "frmRealTime"][-1]["controls"]["lblCount(0)"]["caption"])
sent = [m["data"] for m in got if m["op"] == "execute"]
sentences = [d for d in sent if "GPS.ReceiveGarminSentence" in d]
want = ['av.run("GPS.ReceiveGarminSentence",{"%s;%s;0.5;%s;2;True"})' % (r["x_proj"], r["y_proj"], r["epe"])
        for r in rows]
check(len(rows) >= 4 and sentences == want, "one sentence a kept fix: %r, rows %r" % (sentences, rows))
theme = 'av.run("GPS.AddTheme","' + rt_shp + '")'
refresh = 'av.run("GPS.RefreshShape","' + rt_shp + '")'
remove = 'av.run("GPS.RemoveRealTimeGraphics","")'
# Start-up's own fix arrives with tracking off and stops it, which clears
# ArcView's graphics too; the output file's theme comes next.
at = sent.index(theme) if theme in sent else len(sent)
check(set(sent[:at]) <= {remove}, "before the theme: %r" % sent[:at])
flow = sent[at + 1:]
check(flow[-1:] == [remove] and remove not in flow[:-1], "the graphics removed once at the stop: %r" % flow[-1:])
# A shape's refresh comes before its point's sentence.
before_point = all(flow[i + 1:i + 2] and flow[i + 1] in sentences for i, d in enumerate(flow) if d == refresh)
check(shapes >= 3 and flow.count(refresh) == shapes and before_point, "one refresh a shape (%d): %r" % (shapes, flow))
check(len(flow) == len(sentences) + shapes + 1, "nothing else sent: %r" % flow)

finish()
