#!/usr/bin/env python3
"""The GIS programs beside the main window, played from outside: DDE peers
on the documented sockets, a copy of sleep named as Google Earth, announced
windows, fake ArcMaps, the refresh period and its settings file, Google
Earth's My Places file, a stand-in ArcExplorer class library and the
simulator as the connected unit whose model a layer load names."""
import json, os, re, shutil, signal, socket, subprocess, sys, tempfile, threading

import gpsim_unit
from checks import check, checks, finish, parse

probe, arcexplorer_lib, gpsim = sys.argv[1], sys.argv[2], sys.argv[3]
here = os.path.dirname(os.path.abspath(__file__))
run = tempfile.mkdtemp()
base_env = dict(os.environ, TREKFOLD_DDE_DIR=run + "/dde", TREKFOLD_WINDOWS_DIR=run + "/win", TMPDIR=run + "/tmp",
                QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
os.makedirs(run + "/tmp")
os.makedirs(run + "/dde", mode=0o700)

def probe_run(*words, env=None, home=None):
    args = [probe] + (["--home", home] if home else []) + list(words)
    out = subprocess.run(args, env=env or base_env, capture_output=True, text=True, timeout=600).stdout
    return parse(out)


def captions(lines):
    return [l["caption"] for l in lines if "caption" in l]


def boxes(lines):
    return [l["box"] for l in lines if "box" in l]


def menus_of(lines):
    return [l["menus"] for l in lines if "menus" in l][-1]


def registry(text):
    path = run + "/registry-%d.ini" % checks[0]
    open(path, "w").write(text)
    return dict(base_env, TREKFOLD_REGISTRY=path)


class Peer:
    """A DDE topic served on its socket: records every message, answers ok;
    `once` stops serving after the first conversation was accepted."""

    def __init__(self, name, once=False, on_accept=None):
        self.got, self.path, self.on_accept = [], run + "/dde/" + name, on_accept
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.bind(self.path)
        self.sock.listen(8)
        self.once = once
        threading.Thread(target=self.loop, daemon=True).start()

    def loop(self):
        while True:
            try:
                c, _ = self.sock.accept()
            except OSError:
                return
            if self.on_accept:
                self.on_accept()
            if self.once:
                self.stop()
            threading.Thread(target=self.talk, args=(c,), daemon=True).start()

    def talk(self, c):
        f = c.makefile("rwb")
        try:
            for line in f:
                self.got.append(json.loads(line))
                f.write(b'{"ok":true}\n')
                f.flush()
        except OSError:
            pass

    def stop(self):
        if os.path.exists(self.path):
            os.unlink(self.path)
        self.sock.close()


BARE = "Ostrevane - Garmin "
GIS_MENUS = ["mnuArcViewL", "mnuArcViewS", "mnuLandviewL", "mnuLandViewS", "mnuArcMapL", "mnuArcMapS",
             "mnuGoogleLoad", "mnuGoogleSave", "mnuArcExplorerS", "mnuArcMapProperties"]

# --- detection: a stopped peer is cleared at the next tick --------------------------
home = run + "/home-timer"
os.makedirs(home + "/trekfold")
open(home + "/trekfold/trekfold.ini", "w").write("[app]\nrefresh=1\n")
def window_files():
    d = run + "/win"
    return [open(d + "/" + f).read().split("\n") for f in os.listdir(d)] if os.path.isdir(d) else []


seen = []
# Answers start-up's detection, then quits; meanwhile the main window is
# in the window list.
arcview = Peer("arcview|system", once=True, on_accept=lambda: seen.extend(window_files()))
landview = Peer("landview|whereform")
lines = probe_run("wait", "2500", "window", "frmMain", home=home)
caps = captions(lines)
check(caps[0] == BARE + "/ Arcview / Landview ", "start-up names both peers: %r" % caps)
check(caps[-1] == BARE + "/ Landview ", "the stopped ArcView is cleared at a tick: %r" % caps)
win = [l for l in lines if l.get("window") == "frmMain"][0]
check(win["timers"]["Timer1"] == {"interval": 1000, "enabled": True}, "Timer1: %r" % win.get("timers"))
pokes = [m for m in landview.got if m["op"] == "poke"]
check(pokes == [{"op": "poke", "item": "FromGarminText", "data": "END"}], "shut-down pokes END: %r" % pokes)
check({"dde": {"topic": "landview|whereform", "item": "FromGarminText", "poke": "END"}} in lines,
      "the probe prints the poke")
landview.stop()
mains = [w for w in seen if w[1:2] == ["ThunderRT6FormDC"]]
check(len(mains) == 1 and mains[0][2].startswith("Ostrevane - Garmin"), "main window announced: %r" % seen)
check(not window_files(), "main window withdrawn at exit: %r" % window_files())

# --- no peers ------------------------------------------------------------------------
lines = probe_run("menu", "mnuRefreshApps", "menus")
check(captions(lines)[-1] == BARE, "no peers: bare caption")
m = menus_of(lines)
check(not any(m[n]["enabled"] for n in GIS_MENUS), "no peers: the ten menus off")

# --- Google Earth: a process named google-earth-pro, or the registry's Version ----------
ge_bin = run + "/bin/google-earth-pro"
os.makedirs(run + "/bin")
shutil.copy(shutil.which("sleep"), ge_bin)
ge = subprocess.Popen([ge_bin, "600"])
try:
    lines = probe_run("menu", "mnuRefreshApps", "menus")
    check(captions(lines)[-1] == BARE + "/ Google Earth ", "Google Earth running: %r" % captions(lines))
    m = menus_of(lines)
    check(m["mnuGoogleLoad"]["enabled"] and m["mnuGoogleSave"]["enabled"], "Google Earth menus on")
finally:
    ge.kill()
    ge.wait()
env = registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Google Earth Plus]\nVersion=4.2\n")
lines = probe_run("menu", "mnuRefreshApps", "menus", env=env)
check(captions(lines)[-1] == BARE, "Version alone: no caption")
check(menus_of(lines)["mnuGoogleLoad"]["enabled"], "Version alone: menus on")

# --- ArcExplorer's window -------------------------------------------------------------
lines = probe_run("announce", "AEMainClass", "ArcExplorer - map", "menu", "mnuRefreshApps", "menus")
check(captions(lines)[-1] == BARE + "/ ArcExplorer ", "announced ArcExplorer: %r" % captions(lines))
check(menus_of(lines)["mnuArcExplorerS"]["enabled"], "ArcExplorer menu on")
lines = probe_run("announce", "AEMainClass", "ArcExplorer Garmin", "menu", "mnuRefreshApps")
check(captions(lines)[-1] == BARE, "a title with Garmin is not ArcExplorer")

# --- ArcMap fakes ----------------------------------------------------------------------
def app_calls(lines):
    return [l["arcmap_app"]["call"] for l in lines if "arcmap_app" in l]


def object_calls(lines, member=None):
    return [l["arcmap"] for l in lines if "arcmap" in l and (member is None or l["arcmap"]["member"] == member)]


lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "menu", "mnuRefreshApps", "menus")
check(captions(lines)[-1] == BARE + "/ ArcMap ", "visible ArcMap named: %r" % captions(lines))
check(object_calls(lines, "Set_WindowHandle") == [{"member": "Set_WindowHandle", "args": [65000]}],
      "one Set_WindowHandle over two ticks: %r" % object_calls(lines))
check(app_calls(lines) == ["Find", "Create"], "visible bar: no Dock: %r" % app_calls(lines))
m = menus_of(lines)
check(m["mnuArcMapL"]["enabled"] and m["mnuArcMapProperties"]["enabled"], "ArcMap menus on")

lines = probe_run("--arcgis", "announce", "Afx:00400000:b:10011", "untitled - arcmap", "menu", "mnuRefreshApps")
check(captions(lines)[-1] == BARE and not app_calls(lines), "a lower-case title is no ArcMap")

lines = probe_run("--arcgis", "arcmap-fake", "hidden", "menu", "mnuRefreshApps")
app = [l["arcmap_app"] for l in lines if "arcmap_app" in l]
check(app == [{"call": "Find", "args": ["{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}"]}, {"call": "Dock", "args": [32]},
              {"call": "Item0", "args": []}, {"call": "Create", "args": ["Trekfold_ArcMap.clsArcMap"]}],
      "hidden bar: %r" % app)

lines = probe_run("--arcgis", "arcmap-fake", "missing", "menu", "mnuRefreshApps", "menus")
m = menus_of(lines)
check(captions(lines)[-1] == BARE and not m["mnuArcMapL"]["enabled"] and not m["mnuArcMapProperties"]["enabled"],
      "missing extension: ArcMap and ArcGIS absent")

lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "arcmap-fake", "visible", "64000",
                  "menu", "mnuRefreshApps")
sets = [c["args"] for c in object_calls(lines, "Set_WindowHandle")]
check(sets == [[65000], [64000]], "a lower handle is attached anew: %r" % sets)

lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "arcmap-fake", "gone", "menu",
                  "mnuRefreshApps", "menus")
m = menus_of(lines)
check(captions(lines)[-1] == BARE and not m["mnuArcMapL"]["enabled"], "gone: dropped, menus off")

# --- ArcMap sends and loads ----------------------------------------------------------
rows = ["row", "ident=A", "lat=45", "long=-93", "row", "ident=B", "lat=45.5", "long=-93.5"]
shp = run + "/layer.shp"
lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", *rows, "filter", "2", "answer", shp,
                  "menu", "mnuArcMapLayerS")
todf = object_calls(lines, "Shapefile_ToDataFrame")
check(todf and todf[0]["args"][0] == shp, "LayerS hands the file: %r" % todf)
check({"status": "Sent Point Shapefile to ArcMap"} in lines, "LayerS status")
info = subprocess.run(["ogrinfo", "-q", "-al", shp], capture_output=True, text=True).stdout
check("ident (String) = A" in info and "ident (String) = B" in info, "ogrinfo reads the layer")

lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", *rows, "answer", "Point", "menu",
                  "mnuArcMapGraphicS")
check(len(object_calls(lines, "Graphics_SaveTo")) == 2, "GraphicS: one call per row: %r" % object_calls(lines))

lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", *rows, "answer", "Point", "menu",
                  "mnuArcMapGDBS")
check({"raise": 65000} in lines, "GDBS raises ArcMap's window")
gdb = object_calls(lines, "Save_ToGeodatabase")
check(len(gdb) == 1 and gdb[0]["args"][2:] == ["waypoint", "Point"], "GDBS call: %r" % gdb)
# The table as its rows (field first: header, then each record), the field
# catalogue as its entries.
table, catalogue = gdb[0]["args"][:2]
check(["ident", "A", "B"] in table and ["lat", "45", "45.5"] in table, "GDBS table: %r" % table)
entries = {e["key"]: e["item"] for e in catalogue["collection"]}
check(entries["ident"][:2] == ["ident", "C"] and entries["lat"][:2] == ["lat", "N"], "GDBS catalogue: %r" % catalogue)

exchange = '[["ident","A1","A2"],["lat","45","46"],["long","-93","-94"]]'
lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "arcmap-answer", "Graphics_LoadFrom",
                  exchange, "answer", "OK", "menu", "mnuArcMapGraphicL", "table")
got = [r.get("ident") for r in lines if "row" in r]
check(got == ["A1", "A2"], "GraphicL loads the exchange array: %r" % got)
lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", *rows, "menu", "mnuArcMapGraphicL",
                  "table")
got = [r.get("ident") for r in lines if "row" in r]
check(got == ["A", "B"], "GraphicL with Empty changes nothing: %r" % got)

lines = probe_run("--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "arcmap-fake", "gone", *rows,
                  "answer", run + "/gone.shp", "menu", "mnuArcMapLayerS")
check(not [l for l in lines if "status" in l and l["status"].startswith("Sent")], "gone: no Sent status")

# A layer export array (a point layer: its fields, x_proj, y_proj, type and an
# Empty column) asked for the connected unit's model, loaded and unprojected
# as cs2cs inverts it (a zone other than start-up's default projection).
layer = [["ident", "L1", "L2"], ["comment", "first", "second"], ["x_proj", 500000.0, 523456.78],
         ["y_proj", 5000000.0, 4987654.32], ["type", "WAYPOINT", "WAYPOINT"], [None, None, None]]
unit, unit_env = gpsim_unit.start(gpsim, run + "/unit", here + "/../../../tools/gpsim/scenarios/d108-unit.json")
try:
    lines = probe_run("--port", "3", "--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "setting", "proj",
                      "proj", "32614", "arcmap-answer", "FeatureClass_ToGarmin", json.dumps(layer), "menu",
                      "mnuArcMapLayerL", "table", env=dict(base_env, **unit_env))
finally:
    gpsim_unit.stop(unit)
check(object_calls(lines, "FeatureClass_ToGarmin") == [{"member": "FeatureClass_ToGarmin", "args": ["eTrex Legend"]}],
      "LayerL names the unit's model: %r" % object_calls(lines, "FeatureClass_ToGarmin"))
got = [r for r in lines if "row" in r]
check([(r.get("ident"), r.get("comment"), r.get("type")) for r in got] ==
      [("L1", "first", "WAYPOINT"), ("L2", "second", "WAYPOINT")], "LayerL rows: %r" % got)
inverse = subprocess.run(["cs2cs", "-f", "%.10f", "+proj=utm", "+zone=14", "+datum=WGS84", "+to", "+proj=longlat",
                          "+datum=WGS84"], input="500000 5000000\n523456.78 4987654.32\n", capture_output=True,
                         text=True).stdout.split()
want = [(float(inverse[i + 1]), float(inverse[i])) for i in (0, 3)]
have = [(float(r.get("lat") or "nan"), float(r.get("long") or "nan")) for r in got]
check(len(have) == 2 and all(abs(a - b) < 1e-7 for h, w in zip(have, want) for a, b in zip(h, w)),
      "LayerL lat/long %r, cs2cs %r" % (have, want))

# --- refresh period --------------------------------------------------------------------
def refresh_run(answer, home):
    lines = probe_run("wait", "0", "answer", answer, "menu", "mnuSetAppRefreshRate", "window", "frmMain", home=home)
    win = [l for l in lines if l.get("window") == "frmMain"][0]
    ini = open(home + "/trekfold/trekfold.ini").read()
    stored = re.search(r"(?ms)^\[app\].*?^refresh=([^\n]*)", ini)
    return (stored.group(1) if stored else None), win["timers"]["Timer1"]["interval"]


for answer, stored, ms in [("0", "10", 10000), ("-5", "10", 10000), ("abc", "10", 10000), ("2.5", "2.5", 2500),
                           ("5x", "5x", 5000)]:
    h = tempfile.mkdtemp(dir=run)
    got = refresh_run(answer, h)
    check(got == (stored, ms), "refresh answer %r: %r" % (answer, got))
    if answer == "5x":
        probe_run("window", "frmMain", home=h)
        ini = open(h + "/trekfold/trekfold.ini").read()
        check(re.search(r"(?m)^refresh=5$", ini), "the next start writes back 5")
h = tempfile.mkdtemp(dir=run)
os.makedirs(h + "/trekfold")
open(h + "/trekfold/trekfold.ini", "w").write("[app]\nrefresh=3\n")
check(refresh_run("", h) == ("3", 3000), "Cancel changes nothing")

# --- Google Earth's My Places -------------------------------------------------------------
appdata = run + "/appdata"
myplaces = appdata + "/google/googleearth/myplaces.kml"
os.makedirs(os.path.dirname(myplaces))
shutil.copy(here + "/../../data/kml/kml-points.kml", myplaces)
os.makedirs(run + "/ge")
env = registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Google\\Google Earth Plus]\nVersion=4.2\nInstallDir=%s/ge\n" % run)
env["APPDATA"] = appdata
lines = probe_run("wait", "0", "answer", "Point", "menu", "mnuGoogleLoadMyPlaces", "table", env=env)
got = [r.get("ident") for r in lines if "row" in r]
check(len(got) == 9 and "GCEBB" in got, "My Places placemarks are rows: %r" % got)
check("File was loaded successfully from " + myplaces in boxes(lines), "load box: %r" % boxes(lines))

ge_bin = run + "/bin/googleearth-bin"
shutil.copy(shutil.which("sleep"), ge_bin)
ge = subprocess.Popen([ge_bin, "600"])
try:
    lines = probe_run("menu", "mnuRefreshApps", "row", "ident=NEW1", "lat=45", "long=-93", "answer", "Point", "menu",
                      "mnuGoogleSaveMyPlaces", env=env)
    check([b for b in boxes(lines) if "REVERT" in b], "Google Earth running: the revert box: %r" % boxes(lines))
    check(not [l for l in lines if "launch" in l], "Google Earth running: nothing launched")
finally:
    ge.kill()
    ge.wait()
open(run + "/ge/googleearth", "w").close()
lines = probe_run("menu", "mnuRefreshApps", "row", "ident=NEW2", "lat=46", "long=-94", "answer", "Point", "menu",
                  "mnuGoogleSaveMyPlaces", env=env)
check("File was saved successfully to My Places (" + myplaces + ")" in boxes(lines), "save box: %r" % boxes(lines))
check({"launch": [run + "/ge/googleearth"]} in lines, "Google Earth started after the save")
info = subprocess.run(["ogrinfo", "-q", "-al", myplaces], capture_output=True, text=True).stdout
check(all(n in info for n in ["GCEBB", "NEW1", "NEW2"]), "ogrinfo reads old and new placemarks")
env["APPDATA"] = run + "/nowhere"
env["HOME"] = run + "/nowhere"
lines = probe_run("wait", "0", "answer", "Point", "menu", "mnuGoogleLoadMyPlaces", env=env)
check([b for b in boxes(lines) if b.startswith("Error Number: 1, Could not find file: ")],
      "no file: %r" % boxes(lines))

# --- ArcExplorer's class from the library the registry names -------------------------------
log = run + "/arcexplorer.log"
env = registry("[HKEY_CLASSES_ROOT\\CLSID\\{9BFF60D4-59B1-11D4-9FC0-00C04F8ECE6F}\\InprocServer32]\n@=%s\n"
               % arcexplorer_lib)
env["TREKFOLD_ARCEXPLORER_LOG"] = log
aeshp = run + "/ae.shp"
lines = probe_run("announce", "AEMainClass", "ArcExplorer - map", "menu", "mnuRefreshApps", *rows, "filter", "2",
                  "answer", aeshp, "menu", "mnuShapefileAE", env=env)
sent = open(log).read().splitlines() if os.path.exists(log) else []
check(sent == [aeshp + "\tFalse"], "ArcExplorer gets (path, False): %r" % sent)
check({"status": "Sent information to ArcExplorer"} in lines, "ArcExplorer status")
for title in [None, "ArcExplorer Garmin"]:
    words = (["announce", "AEMainClass", title] if title else []) + ["menu", "mnuRefreshApps", *rows, "filter", "2",
                                                                   "answer", aeshp, "menu", "mnuShapefileAE"]
    lines = probe_run(*words, env=env)
    check(len(open(log).read().splitlines()) == 1 and not [l for l in lines if "status" in l and "ArcExplorer" in
                                                            l["status"]], "nothing sent with window %r" % title)

finish()
