#!/usr/bin/env python3
"""The ArcMap link's measures, shapefile layers and graphics from outside: a
served `maphost --headless` with the extension, trekfold-probe attached
(its settings are the host's: the extension reads what it stores),
`maphost --attach` selecting graphics; ogrinfo reads what was written,
cs2cs gives the points."""
import json, os, subprocess

from host_run import Host, answering, attach, check, cs2cs, doc, env, esri, finish, parse, probe, run

cfg = run + "/cfg"


def shoelace(ring):
    return abs(sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(ring, ring[1:] + ring[:1]))) / 2


def ogr_rows(path, sql):
    out = subprocess.run(["ogrinfo", "-q", "-dialect", "SQLite", "-sql", sql, path], capture_output=True, text=True,
                         check=True).stdout
    rows = []
    for l in out.splitlines():
        if l.startswith("OGRFeature"):
            rows.append({})
        elif " = " in l and rows:
            k, v = l.strip().split(" = ", 1)
            rows[-1][k.split(" (")[0]] = v
    return rows


wgs84 = subprocess.run(["projinfo", "-o", "WKT1_ESRI", "-q", "EPSG:4326"], capture_output=True, text=True,
                       check=True).stdout.strip()


def probe_run(*words):
    """The probe with the frame's projection for projected files and WGS84 for the others."""
    return parse(subprocess.run([probe, "--home", cfg, "--arcgis", "setting", "proj", "projfile", "arcmap", "setting",
                                 "proj", "am_proj", esri, "setting", "proj", "4326", wgs84, "menu", "mnuRefreshApps"] +
                                list(words), env=env, capture_output=True, text=True, timeout=600).stdout)


def settings(**kv):
    return sum((["setting", "fields", k, v] for k, v in kv.items()), [])


def rows(points, xy=False):
    """Track rows at (lat, lon) points, or at (x, y) projected ones; each four make a shape."""
    out = []
    for i, (a, b) in enumerate(points):
        out += ["row", "ident=S%d" % i, ("x_proj=%r" if xy else "lat=%r") % a, ("y_proj=%r" if xy else "long=%r") % b,
                "new_seg=%s" % (i % 4 == 0)]
    return out


def layer_send(path, points, xy, *answers):
    return probe_run("type", "track", *rows(points, xy), *(["filter", "1" if xy else "2", "answer", path] +
                     sum((["answer", a] for a in answers), []) + ["answer", "Polygon", "menu", "mnuArcMapLayerS"]))


def fields_of(path):
    info = subprocess.run(["ogrinfo", "-so", "-al", path], capture_output=True, text=True, check=True).stdout
    return [l.split(":")[0] for l in info.splitlines() if l.endswith("(15.3)")]


# --- Lengths of a geodatabase export, in kilometres ----------------------------------
gdb = run + "/field.gdb"
open(run + "/l.csv", "w").write('WKT,x\n"LINESTRING (460000 5010000,460001 5010001)",1\n')
subprocess.run(["ogr2ogr", "-f", "OpenFileGDB", gdb, "l.csv", "-a_srs", "EPSG:26915", "-nln", "Tracks", "-nlt",
                "MULTILINESTRING", "-where", "0=1"], cwd=run, check=True, capture_output=True)
host = Host(doc, *answering(gdb + "/Tracks"))
track = [(45.25 + i * 0.001, -93.5 + (i % 2) * 0.002 + i * 0.0005) for i in range(1, 7)]
track_rows = sum((["row", "ident=T%d" % i, "lat=%r" % p[0], "long=%r" % p[1], "new_seg=%s" % (i in (1, 4))]
                  for i, p in enumerate(track, 1)), [])
probe_run(*settings(track_area="1", am_length="1", am_length_multiplier="0.001"), "type", "track", *track_rows,
          "menu", "mnuProjectCoordinates", "answer", "Line", "menu", "mnuArcMapGDBS")
got = ogr_rows(gdb, "SELECT Length, ST_Length(SHAPE) AS metres FROM Tracks")
check(len(got) == 2 and all(abs(float(r["Length"]) - float(r["metres"]) / 1000) < 1e-6 for r in got),
      "Length in km: %s" % got)

# --- A 100 m square as a shapefile layer: hectares and metres -------------------------
probe_run(*settings(am_area="1", am_area_multiplier="0.0001", am_length="1", am_length_multiplier="1"))
square = [(460000, 5010000), (460000, 5010100), (460100, 5010100), (460100, 5010000)]
shp = run + "/square.shp"
layer_send(shp, square, True)
open(run + "/square.qix", "wb").write(b"stale")
# Sent again with a second square: the file is there, overwritten, and the
# layer shows it.
lines = layer_send(shp, square + [(x + 200, y) for x, y in square], True, "No")
check({"status": "Sent Polygon Shapefile to ArcMap"} in lines, "sent: %s" % [l for l in lines if "status" in l][-3:])
got = ogr_rows(shp, "SELECT Area, Perimeter FROM square")
check([(float(r["Area"]), float(r["Perimeter"])) for r in got] == [(1, 400)] * 2, "hectares and metres: %s" % got)
check(fields_of(shp) == ["Area", "Perimeter"], "Real (15.3): %s" % fields_of(shp))
check(open(run + "/square.qix", "rb").read(3) == b"SQT", "a fresh .qix")
state = host.map()
layers = [l for l in state["contents"] if l["name"] == "square"]
check(len(layers) == 1 and {"name": "idx_spatial", "fields": ["Shape"]} in layers[0]["class"]["indexes"] and
      layers[0]["class"]["count"] == 2, "one layer, indexed, on the new file: %s" % layers)

# Saved in WGS84: measured in the frame's system, as cs2cs puts the corners.
corners = [(45.25, -93.5), (45.2512, -93.5), (45.2512, -93.4983), (45.2503, -93.4991)]
ll = run + "/ll.shp"
layer_send(ll, corners, False)
xy = cs2cs(corners)
got = ogr_rows(ll, "SELECT Area, Perimeter FROM ll")
perimeter = sum(((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5 for (x0, y0), (x1, y1) in zip(xy, xy[1:] + xy[:1]))
check(len(got) == 1 and abs(float(got[0]["Area"]) - shoelace(xy) * 0.0001) < 1e-3 and
      abs(float(got[0]["Perimeter"]) - perimeter) < 1e-3, "in the frame's system: %s vs %s, %s" %
      (got, shoelace(xy) * 0.0001, perimeter))

# An empty shape measures -1.
open(run + "/e.csv", "w").write('WKT,n\n"POLYGON EMPTY",1\n"POLYGON ((460000 5010000,460000 5010010,460010 5010010,'
                                '460000 5010000))",2\n')
subprocess.run(["ogr2ogr", "empty.shp", "e.csv", "-a_srs", "EPSG:26915", "-nlt", "POLYGON"], cwd=run, check=True,
               capture_output=True)
attach("create", "Trekfold_ArcMap.clsArcMap", "call", "Shapefile_ToDataFrame", json.dumps(run + "/empty.shp"))
got = ogr_rows(run + "/empty.shp", "SELECT Area FROM empty")
check([float(r["Area"]) for r in got] == [-1, 0.005], "empty shape: %s" % got)

# The File menu's shapefile: measured and indexed, no layer.
afile = run + "/afile.shp"
probe_run("type", "track", *rows(square, True), "filter", "1", "answer", afile, "answer", "Polygon", "menu",
          "mnuAFile")
check(fields_of(afile) == ["Area", "Perimeter"] and os.path.exists(run + "/afile.qix"), "File save: fields, index")
check(not [l for l in host.map()["contents"] if l["name"] == "afile"], "File save: no layer")
host.end()
boxes = host.boxes()
check(not boxes, "no boxes: %s" % boxes)

# Under a geographic frame: the box, no field.
geo = run + "/geo.json"
json.dump({"maps": [{"name": "Layers", "spatial_reference": 4326}]}, open(geo, "w"))
host = Host(geo)
layer_send(run + "/llgeo.shp", corners, False)
host.end()
boxes = host.boxes()
check(("Cannot calculate area and distance values without projection information.\r\nPlease set the Dataframe "
       "projection properties", "Dataframe Projection Not Set") in boxes, "geographic frame: %s" % boxes)
check(fields_of(run + "/llgeo.shp") == [], "geographic frame: no field")

# --- Graphics taken back: selected with maphost --attach, loaded by the probe ------------
gdoc = run + "/graphics.json"
line1 = [(460100.5, 5010200.25), (460300, 5010400), (460500, 5010300)]
line2 = [(461000, 5011000), (461200, 5011100)]
json.dump({"maps": [{"name": "Layers", "spatial_reference": 26915, "extent": [460000, 5010000, 462000, 5012000],
                     "graphics": [{"type": "line", "geometry": {"polyline": [line1]}},
                                  {"type": "line", "geometry": {"polyline": [line2]}},
                                  {"type": "marker", "geometry": {"point": [460700, 5010800]}},
                                  {"type": "rectangle", "geometry": {"envelope": [460000, 5010000, 460100, 5010100]}}]
                     }]}, open(gdoc, "w"))
host = Host(gdoc)


def load(*selection):
    sel = attach("select-graphics", *selection)
    check(sel == [{"select-graphics": [int(s) for s in selection if s.isdigit()]}], "selected: %s" % sel)
    return [l for l in probe_run("answer", "OK", "menu", "mnuArcMapGraphicL", "table") if "row" in l]


got = load("0", "1")
ll = cs2cs(line1 + line2, "EPSG:26915", "EPSG:4326")
check([(r["type"], r["ident"], r["new_seg"].lower()) for r in got] ==
      [("TRACK", str(n), s) for n, s in zip(range(1, 6), ["true", "false", "false", "true", "false"])],
      "two polylines: %s" % got)
check(len(got) == 5 and all(abs(float(r["lat"]) - p[0]) < 1e-6 and abs(float(r["long"]) - p[1]) < 1e-6
                            for r, p in zip(got, ll)), "lat/long as cs2cs: %s vs %s" % (got, ll))
got = load("2")
check([(r["type"], r["ident"]) for r in got] == [("WAYPOINT", "1")], "one point: %s" % got)
for selection in (("0", "2"), ("3",), ("none",)):
    check(load(*selection) == [], "nothing loaded for %s" % (selection,))
check(attach("select-graphics", "9", status=True)[-1]["exit"] == 2, "a graphic not there is a bad word")

# --- Records drawn as graphics, projected by the host -----------------------------------
waypoints = track[:3]
probe_run("type", "waypoint", *sum((["row", "ident=W%d" % i, "lat=%r" % p[0], "long=%r" % p[1]]
                                    for i, p in enumerate(waypoints)), []), "menu", "mnuArcMapGraphicS")
probe_run("type", "track", *track_rows, "answer", "Line", "menu", "mnuArcMapGraphicS")
probe_run("type", "track", *track_rows[:15], "answer", "Polygon", "menu", "mnuArcMapGraphicS")
drawn = host.map()["graphics"]["elements"][:6]  # the newest first
host.end()
boxes = host.boxes()
check(boxes == [("All selected graphics must be of the same Geometry Type", "Trekfold_ArcMap"),
                ("Incompatible Geometry Type: 5", "Trekfold_ArcMap"),
                ("No graphics selected.  Select a graphic and try again.", "Trekfold_ArcMap")], "boxes: %s" % boxes)


def near(got, want):
    return len(got) == len(want) and all(abs(a - x) < 1e-3 and abs(b - y) < 1e-3 for (a, b), (x, y) in zip(got, want))


at = cs2cs(track)
check([e["type"] for e in drawn] == ["polygon", "line", "line", "marker", "marker", "marker"], "drawn: %s" % drawn)
if len(drawn) == 6:
    check(near([e["geometry"]["point"] for e in drawn[3:]][::-1], at[:3]), "markers at cs2cs: %s" % drawn[3:])
    check(near(drawn[2]["geometry"]["polyline"][0], at[:3]) and near(drawn[1]["geometry"]["polyline"][0], at[3:]),
          "two lines: %s" % drawn[1:3])
    check(near(drawn[0]["geometry"]["polygon"][0], at[:3] + at[:1]), "a closed triangle: %s" % drawn[0])

finish()
