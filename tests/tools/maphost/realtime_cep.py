#!/usr/bin/env python3
"""Real time and the CEP plot from outside: a served `maphost --headless`
with the extension and a document in EPSG:26915 (and frames in EPSG:2222,
a projected system without unit, EPSG:4326), trekfold-probe attached beside
it, a gpsim unit streaming a "pvt_path"; `maphost --attach dump` reads the
host's state, cs2cs gives the projected points. A box in the host that waits
for its person holds the probe's call while the probe's loop runs on."""
import json, os, sys

from host_run import Host, Lines, answering, check, cs2cs, doc, env, eventually, finish, probe, run
import gpsim_unit  # noqa: E402 (beside the probe's tests; host_run puts them on the path)

gpsim = sys.argv[4]
METRE = 1 / 111189.57696  # degrees of latitude


def document(name, sr, extent):
    path = "%s/%s.json" % (run, name)
    json.dump({"maps": [{"name": "Layers", "spatial_reference": sr, "extent": extent}]}, open(path, "w"))
    return path


class Probe(Lines):
    """trekfold-probe attached to the host."""

    def __init__(self, words, unit_env=None, port=()):
        super().__init__([probe, *port, "--arcgis", "menu", "mnuRefreshApps"] + words,
                         env=dict(env, **(unit_env or {})))


def unit(name, path):
    scenario = {"product": {"id": 292, "version": 3.0, "descriptions": ["GPSMAP 76"]},
                "protocol_array": ["P000", "L001", "A010", "A100", "D110", "A201", "D202", "D110", "D210", "A301",
                                   "D310", "D301", "A600", "D600", "A700", "D700", "A800", "D800"],
                "date_time": {"year": 2006, "month": 7, "day": 4, "hour": 9, "minute": 5, "second": 30},
                "pvt": {"alt": 300.0, "msl_hght": 12.3, "epe": 3.0, "eph": 4.2, "epv": 6.0, "fix": 3},
                "pvt_path": [{"lat": lat, "lon": lon} for lat, lon in path]}
    return gpsim_unit.start(gpsim, run + "/" + name, scenario, "--pvt-period", "200")


def elements(m, layer, kind):
    layers = {l["name"]: l["elements"] for l in m.get("layers", [])}
    layers["<Default>"] = m.get("graphics", {}).get("elements", [])
    return [e for e in layers.get(layer, []) if e["type"] == kind]


def go(name):
    """A file another program waits for, complete when it appears."""
    open(run + "/" + name + ".tmp", "w").write("OK\n")
    os.rename(run + "/" + name + ".tmp", run + "/" + name)


# Real time in the EPSG:26915 frame: 10 fixes 4 m apart, kept every 10 m
# (4 fixes; the last one repeats and is not kept), the trail shown. While
# the probe waits, the host holds one marker per kept fix at the cs2cs points
# (the newest full size, the trail a quarter); the stop removes the
# sub-layer. The output file's layer joins the map; a File save as
# shapefile gives the host Shapefile_ToDataFrame(path, True): a fresh
# spatial index, no layer.
host = Host(doc)
unit_p, unit_env = unit("unit1", [(45.25 + i * 4 * METRE, -93.5) for i in range(10)])
rt_shp, saved = run + "/rt.shp", run + "/saved.shp"
pr = Probe(["setting", "realtime", "showgraphics", "1", "setting", "realtime", "toldistchk", "1", "setting",
            "realtime", "toldistval", "10", "menu", "mnuStartRealTime", "answer", rt_shp, "menu",
            "frmRealTime.cmdLoad", "menu", "frmRealTime.cmdControls", "1", "until", "rows", "4", "600000", "until",
            "file", run + "/go1", "menu", "mnuStopRealTime", "table", "filter", "1", "answer", saved, "menu",
            "mnuAFile"], unit_env, ("--port", "3"))
check(pr.seen({"until": "rows 4", "met": True}), "four fixes kept: %s" % pr.lines[-3:])
check(eventually(lambda: len(elements(host.map(), "TREKFOLD_REALTIME", "marker")) >= 4), "four markers")
during = host.map()
go("go1")
lines = pr.wait()
gpsim_unit.stop(unit_p)
after = host.map()
rows = [l for l in lines if "row" in l]
markers = elements(during, "TREKFOLD_REALTIME", "marker")
check(len(rows) == 4 and len(markers) == 4, "one marker per kept fix: %d rows, %s" % (len(rows), markers))
points = sorted(m["geometry"]["point"] for m in markers)
want = sorted(cs2cs([(float(r["lat"]), float(r["long"])) for r in rows]))
check(len(points) == len(want) and all(abs(p[0] - w[0]) < 1e-3 and abs(p[1] - w[1]) < 1e-3
                                       for p, w in zip(points, want)), "markers at cs2cs: %s %s" % (points, want))
check(sorted(m["symbol"]["size"] for m in markers) == [2, 2, 2, 8], "a trail: %s" % markers)
check(after.get("layers") == [] and after.get("active_graphics_layer") == "<Default>",
      "the sub-layer gone at the stop: %s" % after.get("layers"))
contents = [l.get("data") for l in after.get("contents", [])]
check(contents == [rt_shp], "the output file's layer only: %s" % contents)
check(os.path.exists(run + "/saved.qix") and os.path.exists(saved), "the saved file's spatial index from the host")
check({"box": "File was written successfully to " + saved, "title": "", "style": 64, "answer": "OK",
       "queued": False} in lines, "saved: %s" % [l for l in lines if "box" in l])

# CEP of 10 fixes, "Plot - ArcMap" enabled as the calculation finishes;
# PlotCEP reads the collection across the boundary: a marker at the cs2cs
# centre and four circles, in the basic layer (real time stopped before).
fixes = [(45.25 + ((i * 7) % 5 - 2) * 3 * METRE, -93.5 + ((i * 3) % 4 - 1.5) * 0.00004) for i in range(10)]
centre = (sum(f[1] for f in fixes) / 10, sum(f[0] for f in fixes) / 10)


def cep(fixes=fixes):
    words = ["type", "waypoint"]
    for i, (lat, lon) in enumerate(fixes):
        words += ["row", "ident=P%d" % i, "lat=%r" % lat, "long=%r" % lon]
    lines = Probe(words + ["menu", "mnuProjectCoordinates", "menu", "mnuCalculateCEP", "menu",
                           "frmCalculateCEP.cmdCalculate", "window", "frmCalculateCEP", "menu",
                           "frmCalculateCEP.cmdPlot"]).wait()
    w = [l for l in lines if l.get("window") == "frmCalculateCEP"]
    return w[-1]["controls"] if w else {}, lines


def plotted(m):
    marker = elements(m, "<Default>", "marker")
    circles = [e["geometry"].get("circle", {}) for e in elements(m, "<Default>", "polygon")]
    return marker, sorted(c.get("radius", -1) for c in circles), [c.get("center") for c in circles]


controls, _ = cep()
check(controls.get("cmdPlot", {}).get("enabled") is True and controls["cmdPlot"].get("caption") == "Plot - ArcMap",
      "Plot - ArcMap enabled: %s" % controls.get("cmdPlot"))
report = controls.get("tbxResults", {}).get("text", "")
metres = sorted(float(l.split("=")[1].replace(",", "")) for l in report.split("\r\n") if "% =" in l)
marker, radii, centres = plotted(host.map())
x, y = cs2cs([centre[::-1]])[0]
check(len(marker) == 1 and abs(marker[0]["geometry"]["point"][0] - x) < 1e-3 and
      abs(marker[0]["geometry"]["point"][1] - y) < 1e-3, "the marker at the cs2cs centre: %s" % marker)
check(len(radii) == 4 and len(metres) == 4 and all(abs(r - m) < 0.006 for r, m in zip(radii, metres)) and
      min(radii) > 0, "circles of the radii in metres: %s %s" % (radii, metres))
check(all(c and abs(c[0] - x) < 1e-3 for c in centres), "circles about the centre: %s" % centres)
host.end()

# EPSG:2222 (international feet): the radii / 0.3048 about the cs2cs centre.
host = Host(document("feet", 2222, [700000, 900000, 720000, 920000]))
cep()
marker2, radii2, _ = plotted(host.map())
x, y = cs2cs([centre[::-1]], dst="EPSG:2222")[0]
check(len(radii2) == 4 and all(abs(r2 - r / 0.3048) < 1e-6 for r2, r in zip(radii2, radii)),
      "feet: %s %s" % (radii2, radii))
check(len(marker2) == 1 and abs(marker2[0]["geometry"]["point"][0] - x) < 1e-3, "feet centre: %s" % marker2)
host.end()

# A projected frame without unit: the units dialog once, "Other 2" halves
# the radii.
unitless = ('PROJCS["Local",GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],'
            'PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Transverse_Mercator"],'
            'PARAMETER["Central_Meridian",-93.0],PARAMETER["Scale_Factor",0.9996]]')
host = Host(document("unitless", unitless, [0, 0, 1, 1]), *answering("Other 2"))
cep()
_, radii3, _ = plotted(host.map())
host.end()
lines = host.lines
check(len(radii3) == 4 and all(abs(r3 - r / 2) < 1e-6 for r3, r in zip(radii3, radii)), "halved: %s" % radii3)
check(len([l for l in lines if l.get("window") == "frmDataFrameUnits"]) == 1, "the dialog once: %s" % lines)

# A geographic frame: its box waits for its person ("answer @FILE") while
# the probe's call waits with the probe's loop running: real time goes on,
# each kept fix served by the host meanwhile. Answered, the call completes:
# "Error # 555" titled "ERROR". Again without real time: the marker only.
host = Host(document("geographic", 4326, [-94, 45, -93, 46]), *answering("@" + run + "/person"))
unit_p, unit_env = unit("unit2", [(45.25 + i * METRE, -93.5) for i in range(600)])
pr = Probe(["setting", "realtime", "showgraphics", "1", "setting", "realtime", "panchk", "0", "menu",
            "mnuStartRealTime", "until", "rows", "10", "600000", "menu", "mnuCalculateCEP", "menu",
            "frmCalculateCEP.cmdCalculate", "menu", "frmCalculateCEP.cmdPlot", "menu", "mnuStopRealTime", "table"],
           unit_env, ("--port", "3"))
trail = lambda: len(elements(host.map(), "TREKFOLD_REALTIME", "marker"))  # noqa: E731
check(eventually(lambda: {"waiting": run + "/person"} in host.lines), "the box waits")
at_box = trail()
check(eventually(lambda: trail() >= at_box + 2), "fixes served while the box waits: %d" % at_box)
check(pr.p.poll() is None and not [l for l in host.lines if "box" in l], "the call still waits")
go("person")
lines = pr.wait()
gpsim_unit.stop(unit_p)
error = "Error # 555 : Cannot plot CEP without a projected Data Frame.\r\n" \
        "Please set the Dataframe projection properties and try again."
boxes = [(l["box"], l["title"], l["answer"]) for l in host.lines if "box" in l]
check(boxes == [(error, "ERROR", "OK")], "555 once answered: %s" % boxes)
# The trail holds the plot's marker too: rows logged meanwhile are rows
# beyond the trail's count at the box.
rows = len([l for l in lines if "row" in l])
check(rows >= at_box + 1, "rows logged during the call: %d, %d at the box" % (rows, at_box))
cep()
marker4, radii4, _ = plotted(host.map())
host.end()
lines = host.lines
check(len(marker4) == 1 and radii4 == [], "the marker only: %s %s" % (marker4, radii4))
check(len([l for l in lines if "box" in l]) == 2, "a box a plot")

# A frame of unknown kind: its "ERROR" box, then the units dialog ("Meters").
host = Host(document("unknown", "unknown", [0, 0, 1, 1]), *answering("OK", "Meters"))
cep()
_, radii5, _ = plotted(host.map())
host.end()
shown = [(l["box"], l["title"]) if "box" in l else l["window"] for l in host.lines if "box" in l or "window" in l]
check(shown == [("Error # 13 : Type mismatch", "ERROR"), "frmDataFrameUnits"], "box, then dialog: %s" % shown)
check(len(radii5) == 4 and all(abs(r5 - r) < 1e-6 for r5, r in zip(radii5, radii)), "in metres: %s" % radii5)

# Six of ten fixes on the centre: 50 % of 0 m, an empty circle and three
# more, no box.
step = 2.0 ** -10  # exact in binary and in decimal: the mean is the centre itself
host = Host(doc)
controls, _ = cep([(45.25, -93.5)] * 6 + [(45.25 + step, -93.5), (45.25 - step, -93.5)] * 2)
_, radii6, _ = plotted(host.map())
host.end()
report = controls.get("tbxResults", {}).get("text", "")
check("50% = 0.00\r\n" in report, "50 %% of 0 m: %s" % report)
# An empty circle has no centre and radius in the dump (-1 here).
check(len(radii6) == 4 and radii6[0] == -1 and radii6[1] > 0 and not host.boxes(),
      "four circles, no box: %s %s" % (radii6, host.boxes()))

finish()
