#!/usr/bin/env python3
"""The ArcMap link's data exports from outside: a served `maphost --headless`
with the extension and a document in EPSG:26915, trekfold-probe attached;
ogr2ogr makes the file geodatabase, ogrinfo reads what was written, cs2cs
gives the projected points."""
import json, os, subprocess

from host_run import check, doc, env, esri, extension, finish, maphost, parse, probe, run


def ogr(*args):
    subprocess.run(["ogr2ogr", "-f", "OpenFileGDB"] + list(args), cwd=run, check=True, capture_output=True)


def features(gdb, layer):
    """Each feature's fields and vertices, as ogr2ogr writes them in GeoJSON."""
    out = subprocess.run(["ogr2ogr", "-f", "GeoJSON", "/vsistdout/", gdb, layer], capture_output=True, text=True,
                         check=True).stdout
    return json.loads(out)["features"]


gdb = run + "/field.gdb"
open(run + "/p.csv", "w").write('WKT,ident\n"POINT (460000 5010000)",a\n')
open(run + "/l.csv", "w").write('WKT,x\n"LINESTRING (460000 5010000,460001 5010001)",1\n')
open(run + "/a.csv", "w").write('WKT,x\n"POLYGON ((460000 5010000,460001 5010001,460001 5010000,460000 5010000))",1\n')
ogr(gdb, "p.csv", "-a_srs", "EPSG:26915", "-nln", "Wpts", "-nlt", "POINT", "-where", "0=1")
ogr("-update", gdb, "l.csv", "-a_srs", "EPSG:26915", "-nln", "Tracks", "-nlt", "MULTILINESTRING", "-lco",
    "FEATURE_DATASET=Survey", "-where", "0=1")
ogr("-update", gdb, "a.csv", "-a_srs", "EPSG:26915", "-nln", "Areas", "-nlt", "MULTIPOLYGON", "-where", "0=1")


def host_run(answers, *probes):
    """A served host whose browse dialogs take ANSWERS; each PROBES entry
    (rows, shape, kind) one geodatabase export by the probe. Returns the
    host's lines, the probe's lines per run and the host's dump after."""
    words = [maphost, "--headless", "--no-launch", "--extension", extension, "--doc", doc]
    for a in answers:
        words += ["answer", a]
    host = subprocess.Popen(words + ["serve"], env=env, stdout=subprocess.PIPE, text=True)
    first = json.loads(host.stdout.readline())
    seen = []
    for rows, shape, kind in probes:
        words = ["--arcgis", "setting", "proj", "projfile", "arcmap", "setting", "proj", "am_proj", esri, "menu",
                 "mnuRefreshApps", "type", kind]
        for r in rows:
            words += ["row"] + r
        words += ["menu", "mnuProjectCoordinates", "table", "answer", shape, "menu", "mnuArcMapGDBS"]
        seen.append(parse(subprocess.run([probe] + words, env=env, capture_output=True, text=True,
                                         timeout=600).stdout))
    state = parse(subprocess.run([maphost, "--attach", "dump"], env=env, capture_output=True, text=True,
                                 timeout=600).stdout)[0]["dump"]
    host.terminate()
    return [first] + parse(host.communicate(timeout=600)[0]), seen, state


def rows_of(kind, n, segs=()):
    return [["ident=%s%d" % (kind[0].upper(), i), "lat=%r" % (45.25 + i * 0.001), "long=%r" % (-93.5 + (i % 2) *
             0.002 + i * 0.0005)] + (["new_seg=%s" % (i in segs)] if kind == "track" else []) for i in range(1, n + 1)]


def boxes(lines):
    return [(l["box"], l["title"]) for l in lines if "box" in l]


# Six track rows in two segments, exported twice: two features of three
# vertices each time, one layer with its hotlink field.
track = rows_of("track", 6, (1, 4))
lines, seen, state = host_run([gdb + "/Survey/Tracks"] * 2, (track, "Line", "track"), (track, "Line", "track"))
got = features(gdb, "Tracks")
rows = [l for l in seen[0] if "row" in l]
check(len(got) == 4 and all(len(f["geometry"]["coordinates"][0]) == 3 for f in got), "features: %s" % got)
if len(got) == 4 and len(rows) == 6:
    for f, start in zip(got, (0, 3, 0, 3)):
        pts = f["geometry"]["coordinates"][0]
        check(all(abs(p[0] - float(rows[start + i]["x_proj"])) < 1e-3 and
                  abs(p[1] - float(rows[start + i]["y_proj"])) < 1e-3 for i, p in enumerate(pts)),
              "vertices at the rows' x_proj/y_proj: %s" % pts)
        check(f["properties"].get("ident") == rows[start]["ident"], "attributes of the first row: %s" % f)
status = state["application"]["status"]
check("Saved 2 shapes successfully to %s/Survey/Tracks" % gdb in status, "status: %s" % status)
layers = state["document"]["maps"][0]["contents"]
check(len(layers) == 1 and layers[0]["name"] == "Tracks" and layers[0]["hotlink_field"] == "filename" and
      layers[0]["hotlink_type"] == 0, "one layer: %s" % layers)
types = {f["name"]: f["type"] for f in layers[0]["class"]["fields"]} if layers else {}
check(types.get("lat") == 3 and types.get("ident") == 4 and types.get("new_seg") == 4, "field types: %s" % types)

# Three rows as "Polygon": one closed ring of four vertices.
lines, seen, state = host_run([gdb + "/Areas"], (rows_of("track", 3), "Polygon", "track"))
ring = [f["geometry"]["coordinates"] for f in features(gdb, "Areas")]
check(len(ring) == 1 and len(ring[0][0][0]) == 4 and ring[0][0][0][0] == ring[0][0][0][-1], "one ring: %s" % ring)

# Refusals: line rows into the point class, a plain folder, a cancel, a
# personal geodatabase; nothing is written.
os.makedirs(run + "/plain/Tracks")
lines, seen, state = host_run([gdb + "/Wpts", "OK", run + "/plain/Tracks", "OK", "", run + "/survey.mdb/Tracks",
                               "OK"],
                              *[(track, "Line", "track")] * 4)
got = boxes(lines)
check(("Error # 266 was generated by FeatureClass_Open\rIncoming shapes do not match existing feature class shape "
       "type.  Aborting. -- CArcMap.FeatureClass_Open", "Error") in got, "shape mismatch: %s" % got)
check(any("45" in b and "Not a Personal or File Geodatabase" in b for b, _ in got), "plain folder: %s" % got)
check(any("429" in b and "FeatureClass_Open" in b for b, _ in got), "personal geodatabase: %s" % got)
check(len(got) == 3, "the cancel shows no box: %s" % got)
check(len(features(gdb, "Wpts")) == 0 and len(features(gdb, "Tracks")) == 4, "nothing written")

# A one-vertex middle segment: each feature holds only its own vertices.
lines, seen, state = host_run([gdb + "/Survey/Tracks"], (rows_of("track", 5, (1, 3, 4)), "Line", "track"))
got = [len(f["geometry"]["coordinates"][0]) for f in features(gdb, "Tracks")[4:]]
check(got == [2, 2], "segments of their own vertices: %s" % got)

# Three waypoints into the point class (every waypoint column found in the
# catalogue, "unused2" too).
lines, seen, state = host_run([gdb + "/Wpts"], (rows_of("waypoint", 3), "Point", "waypoint"))
check(not boxes(lines) and len(features(gdb, "Wpts")) == 3, "three points: %s" % boxes(lines))

finish()
