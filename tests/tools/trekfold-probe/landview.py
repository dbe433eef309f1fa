#!/usr/bin/env python3
"""LandView played from outside: a peer serving landview|whereform records
what Trekfold pokes, and pokes its own commands into trekfold|frmmain, each
once the one before has been carried out. The simulator is the receiver;
ogrinfo, cs2cs and dbfdump read the files Trekfold writes.
Usage: landview.py PROBE GPSIM SCENARIOS"""
import json, os, shutil, socket, subprocess, sys, tempfile, threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gpsim_unit  # noqa: E402
from checks import check, eventually, finish  # noqa: E402

probe, gpsim, scenarios = sys.argv[1:4]
class Session:
    """One probe run in its own folder D (TEMP=D) beside a LandView peer.
    `once`: the peer stops serving after start-up's detection reached it."""

    def __init__(self, words, unit=None, ini="", once=False, refuse=False):
        """`words`: the probe's commands, or a function of D giving them.
        `refuse`: the peer answers every poke {"ok":false}."""
        self.refuse = refuse
        self.d = d = tempfile.mkdtemp()
        for sub in ("tmp", "home/trekfold"):
            os.makedirs(d + "/" + sub)
        os.makedirs(d + "/dde", mode=0o700)
        with open(d + "/home/trekfold/trekfold.ini", "w") as f:
            f.write(ini)
        env = dict(os.environ, TREKFOLD_DDE_DIR=d + "/dde", TREKFOLD_WINDOWS_DIR=d + "/win", TMPDIR=d + "/tmp",
                   TEMP=d, QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
        args = [probe, "--home", d + "/home"]
        self.unit = None
        if unit:
            self.unit, unit_env = gpsim_unit.start(gpsim, d + "/unit", os.path.join(scenarios, unit))
            env.update(unit_env)
            args += ["--port", "3"]
        self.got, self.lines, self.link = [], [], None
        self.server = socket.socket(socket.AF_UNIX)
        self.server_path = d + "/dde/landview|whereform"
        self.server.bind(self.server_path)
        self.server.listen(8)
        self.once = once
        threading.Thread(target=self.accept, daemon=True).start()
        if callable(words):
            words = words(d)
        self.p = subprocess.Popen(args + words, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.err = []
        threading.Thread(target=lambda: self.err.extend(self.p.stderr), daemon=True).start()
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def accept(self):
        while True:
            try:
                c, _ = self.server.accept()
            except OSError:
                return
            if self.once:
                os.unlink(self.server_path)
                self.server.close()
            threading.Thread(target=self.talk, args=(c,), daemon=True).start()

    def talk(self, c):
        f = c.makefile("rwb")
        for line in f:
            m = json.loads(line)
            self.got.append(m)
            f.write(b'{"ok":false}\n' if self.refuse and m.get("op") == "poke" else b'{"ok":true}\n')
            f.flush()

    def read(self):
        for line in self.p.stdout:
            if line.startswith("{"):
                self.lines.append(json.loads(line))

    def pokes(self):
        return [m["data"] for m in self.got if m.get("op") == "poke"]

    def seen(self, key, value=None):
        return any(key in l and (value is None or l[key] == value) for l in self.lines)

    def poke(self, text):
        """Pokes FromDDE and waits until the command has been carried out."""
        if not self.link:
            check(eventually(lambda: self.seen("window", "frmMain")), "the probe reached its wait")
            self.link = socket.socket(socket.AF_UNIX)
            self.link.connect(self.d + "/dde/trekfold|frmmain")
            self.linkf = self.link.makefile("rwb")
        before = sum(1 for l in self.lines if l.get("handled") == text)
        self.linkf.write((json.dumps({"op": "poke", "item": "FromDDE", "data": text}) + "\n").encode())
        self.linkf.flush()
        check(json.loads(self.linkf.readline()) == {"ok": True}, "poke answered: " + text)
        if text.upper() != "END":
            check(eventually(lambda: sum(1 for l in self.lines if l.get("handled") == text) > before),
                  "carried out: " + text)

    def finish(self):
        rc = self.p.wait(timeout=600)
        self.reader.join(60)  # every line printed has been read
        if self.unit:
            gpsim_unit.stop(self.unit)
        self.rc = rc
        return rc

    def boxes(self):
        return [(l["box"], l.get("title", "")) for l in self.lines if "box" in l]


def ogr_geometries(path):
    out = subprocess.run(["ogrinfo", "-ro", "-al", path], capture_output=True, text=True).stdout
    return [l.strip() for l in out.splitlines() if l.strip().startswith(("LINESTRING", "POLYGON", "POINT"))]


def numbers_of(wkt):
    inner = wkt[wkt.index("(") :].replace("(", " ").replace(")", " ")
    return [tuple(float(v) for v in p.split()) for p in inner.split(",")]


def utm15(lat, lon):
    out = subprocess.run(["cs2cs", "+proj=longlat", "+datum=WGS84", "+to", "+proj=utm", "+zone=15", "+datum=WGS84",
                          "-f", "%.4f"], input="%r %r\n" % (lon, lat), capture_output=True, text=True).stdout
    return tuple(float(v) for v in out.split()[:2])


def dbf_ids(path):
    if shutil.which("dbfdump"):
        out = subprocess.run(["dbfdump", path], capture_output=True, text=True).stdout
        return [int(l.split()[-1]) for l in out.splitlines()[1:] if l.strip()]
    out = subprocess.run(["ogrinfo", "-ro", "-al", path], capture_output=True, text=True).stdout
    return [int(l.split("=")[1]) for l in out.splitlines() if l.strip().startswith("ID (")]


def wait_line(key):
    return ["window", "frmMain", "until", "fromdde", key, "600000"]


# --- the menu commands: numbered requests, cleared tables, the unload's END ------------
s = Session(["row", "lat=45.5", "long=-93.25", "menu", "mnuLandviewCurrentLocationSave",
             "row", "lat=45.6", "long=-93.5", "menu", "mnuLandviewCurrentLocationSave",
             "menu", "mnuLandviewCurrentLocationLoad", "menu", "mnuLandviewListLoad",
             "menu", "mnuLandViewMeasureLoadPoint", "menu", "mnuLandviewLayerLoad", "table"])
check(s.finish() == 0, "menus: the probe ends with 0: %s" % "".join(s.err)[-2000:])
check(s.pokes() == ["TCL1,45.5,-93.25", "SCL2", "SUL3", "SMS4,Point", "LLL5", "END"], "menu sends: %r" % s.pokes())
check(("You must have one record in the table selected", "") in [(b, "") for b, _ in s.boxes()],
      "two rows: %r" % s.boxes())
check(not any("row" in l for l in s.lines), "the load requests cleared the table")

# LandView gone since start-up's detection: the trapped and the untrapped sender.
s = Session(["menu", "mnuLandviewCurrentLocationLoad", "menu", "mnuLandVeiwLayerSave"], once=True)
s.finish()
b = s.boxes()
check(("Error Trying to Communicate Coordinates with Landview", "Communication Error") in b, "trapped: %r" % b)
check(any(t == "frmMain.mnuLandVeiwLayerSave_Click" and x.startswith("Error #282 - ") for x, t in b),
      "untrapped: %r" % b)

# A LandView that refuses the pokes: each sender's trap and box.
s = Session(["menu", "mnuLandviewCurrentLocationLoad", "menu", "mnuLandviewListLoad", "menu", "mnuLandviewLayerLoad"],
            refuse=True)
check(s.finish() == 0, "refused: the probe ends with 0: %s" % "".join(s.err)[-2000:])
b = s.boxes()
check(b.count(("Error Trying to Communicate Coordinates with Landview", "Communication Error")) == 2,
      "SCL and SUL refused: %r" % b)
check(any(t == "frmMain.mnuLandviewLayerLoad_Click" and x.startswith("Error #285 - ") for x, t in b),
      "LLL refused: %r" % b)
check(s.pokes()[:3] == ["SCL1", "SUL2", "LLL3"], "refused sends: %r" % s.pokes())

# --- incoming commands against the simulator: the measure tool, the location, real
# time, the layer download and the transfers LandView asks for --------------------------
s = Session(["menu", "mnuLandviewMeasureToolLine"] + wait_line("END"), unit="d108-unit.json")
d = s.d
rows = [(45.0, -93.0, "True"), (45.01, -93.0, "False"), (45.01, -93.01, "False"), (45.2, -92.0, "True"),
        (45.21, -92.0, "False")]
with open(d + "/GarminTempFile.txt", "w") as f:
    f.write("type,ident,comment,lat,long,y_proj,x_proj,new_seg\r\n")
    for lat, lon, seg in rows:
        f.write("track,T,C,%r,%r,0,0,%s\r\n" % (lat, lon, seg))
s.poke("MEA")
s.poke("SMT,Line")
base = d + "/TmpShapeFile1"
check(all(os.path.exists(base + e) for e in (".shp", ".shx", ".dbf")), "the temporary set is written")
lines = ogr_geometries(base + ".shp")
check(len(lines) == 2 and all(l.startswith("LINESTRING") for l in lines), "one line per segment: %r" % lines)
vertices = [v for l in lines for v in numbers_of(l)]
for (lat, lon, _), got in zip(rows, vertices):
    want = utm15(lat, lon)
    check(abs(got[0] - want[0]) < 0.05 and abs(got[1] - want[1]) < 0.05, "UTM %r against cs2cs %r" % (got, want))
check(dbf_ids(base + ".dbf") == [1, 2], "IDs 1..n: %r" % dbf_ids(base + ".dbf"))
s.poke("SMT,Polygon")
polygons = ogr_geometries(base + ".shp")
check(len(polygons) == 1 and len(numbers_of(polygons[0])) == 4, "one ring of four vertices: %r" % polygons)
s.poke("smt,polygon")
check(not os.path.exists(base + ".shp"), "no shape type, no shapes")
check(("No valid shapes created in shapefile", "") in [(x, "") for x, _ in s.boxes()], "the box: %r" % s.boxes())
os.unlink(d + "/GarminTempFile.txt")
s.poke("lst")
s.poke("  rgs")
s.poke("RG")
s.poke("RGSX")
s.poke("SRT")
check(eventually(lambda: sum(1 for p in s.pokes() if p.startswith("TCL5,")) >= 2), "a kept fix goes to LandView")
rtc = s.pokes().count("RTC")
s.poke("ERT")
check(eventually(lambda: s.pokes().count("RTC") > rtc), "ERT stops real time: %r" % s.pokes())
s.poke("LVW")
s.poke("DOWNLOAD,waypoint,point," + d + "/w.shp")
s.poke("UPLOAD,waypoint,,%s/w.xyz" % d)
s.poke("END")
check(s.finish() == 0, "END ends the probe with 0: %s" % "".join(s.err)[-2000:])
p = [x for x in s.pokes() if x != "RTC"]
check(p[0] == "MEA1,Line", "the measure request: %r" % p[:1])
check([x for x in p if x.startswith("SMT")] == ["SMT%d,%s.dbf" % (n, base) for n in (2, 3, 4)],
      "SMT replies on one set: %r" % p)
check("Errors encountered when loading " + d + "/GarminTempFile.txt" in [x for x, _ in s.boxes()], "LST, no file")
tcl = [x for x in p if x.startswith("TCL")]
check(tcl and tcl[0] == "TCL5,-93.25000000,45.50000000,80,2.5,0,false", "the location reply: %r" % tcl[:1])
check(len([x for x in p if x.startswith("TCL5,") and x.endswith(",0,false")]) == 1, "RG and RGSX are no RGS: %r" % tcl)
dde = [i for i, l in enumerate(s.lines) if l.get("dde", {}).get("poke", "").startswith("LLS")]
rows_in = [i for i, l in enumerate(s.lines) if l.get("box", "").startswith("Received 4 records")]
check(dde and rows_in and dde[0] > rows_in[0], "LLS follows the last waypoint: %r %r" % (dde, rows_in))
check("LLS6" in p, "LVW asks for the layer: %r" % p)
check(len(ogr_geometries(d + "/w.shp")) == 4, "DOWNLOAD writes the unit's waypoints")
check([x for x in p if x.startswith("RESPONSE")] == ["RESPONSE,False"], "only the bad upload answers: %r" % p)
check({"end": True} in s.lines, "END printed")

# Feet: the EPE goes to LandView in metres.
s = Session(wait_line("END"), unit="d108-unit.json", ini="[units]\nunit=Feet\n")
s.poke("RGS")
s.poke("END")
s.finish()
tcl = [x for x in s.pokes() if x.startswith("TCL")]
check(tcl and tcl[0].endswith(",80,2.49939039258717,0,false"), "EPE in metres: %r" % tcl)

# --- layers: saved as, appended to, new, cancelled, loaded -----------------------------
answers = lambda d: ["Mine", "Yes", "Mine", "No", d + "/new.shp", "OK", "Cancel", "Census", "OK", "Roads", "OK", "Mine"]
s = Session(lambda d: ["row", "lat=45.5", "long=-93.25", "x_proj=480354.1", "y_proj=5038562.2", "ident=A",
                       "save", "shp_u", d + "/mine.shp", "Point"] + sum((["answer", a] for a in answers(d)), []) +
            ["menu", "mnuLandVeiwLayerSave"] + wait_line("LVT") + ["window", "frmLandviewLayerSelection", "table"])
d = s.d
mine = d + "/mine.shp"
with open(d + "/GarminTempLayerFile.txt", "w") as f:
    f.write('2\r\n"Roads","%s/gone.shp"\r\n"Mine","%s"\r\n"Census","tiger:1"\r\n' % (d, mine))
s.poke("SOP")
s.poke("APP")
appended = len(ogr_geometries(mine))
s.poke("SOP")
s.poke("SOP")
for _ in range(3):
    s.poke("ROP")
s.poke("LVT")
check(s.finish() == 0, "layers: the probe ends with 0: %s" % "".join(s.err)[-2000:])
p = s.pokes()
check(p == ["LLS1", "APL1,%s,1,Shape file appended to" % mine, "UAF1",
            "REF1,%s/new.shp,1,NEW, GPS Shapefile written" % d, "END"], "layer replies: %r" % p)
check(appended == 2, "APP appends to the layer: %d" % appended)
chooser = [l for l in s.lines if l.get("dialog") == "Landview Layer Selection"]
check(len(chooser) == 6 and all(c["items"] == ["Roads", "Mine", "Census"] for c in chooser), "chooser: %r" % chooser)
b = s.boxes()
check(("Answer YES to to Append or NO to Create a New File: " + mine, "Save to Landview Overlay") in b, "append box")
check(("Sorry, cannot load this layer. Only works for shapefiles.", "User data required") in b, "not a shapefile")
check(("File not found: %s/gone.shp" % d, "Landview Layer Did Not Load") in b, "missing layer: %r" % b)
win = [l for l in s.lines if l.get("window") == "frmLandviewLayerSelection"]
check(win and win[0]["tags"] == {"frmLandviewLayerSelection": mine, "frmMain": "1"}, "both Tags: %r" % win)
check(len([l for l in s.lines if "row" in l]) == 2, "ROP loads the chosen layer")

finish()
