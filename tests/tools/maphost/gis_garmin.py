#!/usr/bin/env python3
"""A layer's features for the receiver from outside: a served `maphost
--headless` with the extension and a document in EPSG:26915 holding
shapefile layers ogr2ogr made from CSV; trekfold-probe attached with a
simulated unit on COM 3 loads the selected layer's features."""
import json, math, subprocess, sys

from host_run import Host, answering, attach, check, doc, env, esri, finish, parse, probe, run

import gpsim_unit  # noqa: E402 (beside the probe's tests; host_run puts them on the path)

gpsim = sys.argv[4]


def ogr(*args):
    subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile"] + list(args), cwd=run, check=True, capture_output=True)


# 501 waypoints in degrees, written in the frame's system; the first 500 too.
points = [("P%03d" % i, 45.24 + i * 3.1e-5, -93.51 + (i % 23) * 4.3e-4) for i in range(501)]
with open(run + "/pts.csv", "w") as f:
    f.write("ident,lat,lon\n" + "".join("%s,%.7f,%.7f\n" % p for p in points))
where = ["-oo", "X_POSSIBLE_NAMES=lon", "-oo", "Y_POSSIBLE_NAMES=lat", "-oo", "KEEP_GEOM_COLUMNS=NO", "-s_srs",
         "EPSG:4326", "-t_srs", "EPSG:26915"]
ogr("pts.shp", "pts.csv", *where)
ogr("pts500.shp", "pts.csv", "-where", "ident <> 'P500'", *where)
# 12 star-shaped polygons of 1,000 vertices each (closing points counted),
# in metres and in degrees.
with open(run + "/poly.csv", "w") as f:
    f.write("WKT,name\n")
    for j in range(12):
        cx, cy = 460250 + (j % 4) * 450, 5010300 + (j // 4) * 600
        ring = [(cx + (150 - 10 * (k % 2)) * math.cos(-2 * math.pi * k / 999),
                 cy + (150 - 10 * (k % 2)) * math.sin(-2 * math.pi * k / 999)) for k in range(999)]
        f.write('"POLYGON ((%s))",S%d\n' % (",".join("%.3f %.3f" % v for v in ring + ring[:1]), j))
ogr("poly.shp", "poly.csv", "-a_srs", "EPSG:26915", "-nlt", "POLYGON")
ogr("polydeg.shp", "poly.shp", "-t_srs", "EPSG:4326")
json.dump({"maps": [{"name": "Layers", "spatial_reference": 26915, "extent": [460000, 5010000, 462000, 5012000],
                     "contents": [{"type": "feature", "name": n, "data": run + "/" + n + ".shp"}
                                  for n in ("pts", "pts500", "poly", "polydeg")]}]}, open(doc, "w"))

unit, unit_env = gpsim_unit.start(gpsim, run + "/unit", {
    "product": {"id": 128, "version": 2.70, "descriptions": ["eTrex Legend Software Version 2.70"]},
    "position": {"lat": 45.25, "lon": -93.5},
    "protocol_array": ["P000", "L001", "A010", "A100", "D108", "A201", "D202", "D108", "D210", "A301", "D310", "D301",
                       "A800", "D800"]})
probe_env = dict(env, **unit_env)


def host_run(select, answers, loads, extra=()):
    """A served host with SELECT words and queued ANSWERS; the probe (the
    unit connected, one row KEEP) loads the layer LOADS times, printing the
    table after each (its "Identify Fields" dialog, shown for waypoints,
    answered OK); EXTRA attached words then. Returns the host's boxes
    (text, title), the tables, the attached lines and the host's dump."""
    host = Host(doc, *select, *answering(*answers))
    words = ["--port", "3", "--arcgis", "setting", "proj", "projfile", "arcmap", "setting", "proj", "am_proj", esri,
             "menu", "mnuRefreshApps", "row", "ident=KEEP", "lat=45", "long=-93"] + \
            ["answer", "OK", "menu", "mnuArcMapLayerL", "table"] * loads
    out = parse(subprocess.run([probe] + words, env=probe_env, capture_output=True, text=True, timeout=600).stdout)
    tables, rows = [], None
    for l in out:
        if "fields" in l:
            rows = []
            tables.append(rows)
        elif "row" in l and rows is not None:
            rows.append(l)
    attached = attach(*extra) if extra else []
    state = host.dump()
    host.end()
    return host.boxes(), tables, attached, state


try:
    # 501 points: the question; No leaves the table, Yes loads them all; the
    # class's own call gives the field names in record 0.
    boxes, tables, attached, _ = host_run(["select-layer", "pts"], ["No", "Yes", "Yes"], 2,
                                          ["create", "Trekfold_ArcMap.clsArcMap", "call", "FeatureClass_ToGarmin",
                                           '"eTrex Legend"'])
    check(len(boxes) >= 1 and boxes[0] == (
        "Number of points from Feature Layer (501) exceeds the Waypoint limit of your current GPS (eTrex Legend - 500)."
        "  Continue loading points?\r\n\r\nNote: The Waypoint/Track limit is based on the GPS currently connected.  "
        "If no GPS found it assumes 500 waypoint and 10000 track limit.  If the limits for your model are erroneous "
        "you may edit them in the following text file: [installdir]\\trekfold\\gpslimits", "Too Many Points"),
          "the question: %s" % boxes[:1])
    check(len(boxes) == 3, "asked at each load: %s" % boxes)
    check(len(tables) == 2 and [r.get("ident") for r in tables[0]] == ["KEEP"], "No leaves the table: %s" %
          tables[:1])
    got = tables[1] if len(tables) == 2 else []
    want = {p[0]: p for p in points}
    check(len(got) == 501 and all(r.get("type") == "WAYPOINT" and r["ident"] in want and
                                  abs(float(r["lat"]) - want[r["ident"]][1]) < 1e-6 and
                                  abs(float(r["long"]) - want[r["ident"]][2]) < 1e-6 for r in got),
          "501 waypoints at the CSV's places: %s" % got[:2])
    calls = [l for l in attached if "call" in l]
    record0 = [column[0] for column in calls[0]["result"]["2d"]] if calls and "2d" in calls[0]["result"] else calls
    check(record0 == ["FID", "Shape", "ident", "x_proj", "y_proj", "type", None], "record 0: %s" % record0)

    # 500 points ask nothing; three selected features give three rows.
    boxes, tables, _, _ = host_run(["select-layer", "pts500"], [], 1)
    check(not boxes and len(tables) == 1 and len(tables[0]) == 500, "500 points: %s" % boxes)
    boxes, tables, _, _ = host_run(["select-layer", "pts", "select-features", "pts", "4", "7", "9"], [], 1)
    check(not boxes and len(tables) == 1 and [r.get("ident") for r in tables[0]] == ["P004", "P007", "P009"],
          "three selected: %s %s" % (boxes, tables))

    # 12,000 vertices: Cancel loads nothing, No every vertex (a feature's
    # first one starts a segment), Yes at most 10,000, the shapes drawn.
    boxes, tables, _, state = host_run(["select-layer", "poly"], ["Cancel", "No", "Yes"], 3)
    check([t for _, t in boxes] == ["Too Many Vertices"] * 3 and "(12000)" in boxes[0][0] and
          "(eTrex Legend - 10000)" in boxes[0][0], "the question: %s" % boxes[:1])
    check(len(tables) == 3 and [r.get("ident") for r in tables[0]] == ["KEEP"], "Cancel loads nothing")
    got = tables[1] if len(tables) == 3 else []
    check(len(got) == 12000 and [i for i, r in enumerate(got) if r.get("new_seg", "").lower() == "true"] ==
          list(range(0, 12000, 1000)) and all(r.get("new_seg") == "False" for i, r in enumerate(got) if i % 1000),
          "No: every vertex: %d rows" % len(got))
    got = tables[2] if len(tables) == 3 else []
    drawn = state["document"]["maps"][0]["graphics"]["elements"]
    sizes = [sum(len(r) for r in e["geometry"]["polygon"]) for e in drawn if "polygon" in e.get("geometry", {})]
    check(0 < len(got) <= 10000 and len(sizes) == 12 and sum(sizes) == len(got), "Yes: %d rows, drawn %s" %
          (len(got), sizes))

    boxes, tables, _, state = host_run(["select-layer", "polydeg"], ["Yes"], 1)
    drawn = state["document"]["maps"][0]["graphics"]["elements"]
    check(len(boxes) == 1 and len(tables) == 1 and 0 < len(tables[0]) <= 10000 and len(drawn) == 12,
          "in degrees: %s, %s rows, %d drawn" % (boxes, [len(t) for t in tables], len(drawn)))

    # No layer selected.
    boxes, tables, _, _ = host_run([], [], 1)
    check(boxes == [("Error #: 5 - Please select a single layer in the Active Data Frame and try again in "
                     "CArcMap.FeatureClass_GetActive", "Trekfold_ArcMap")] and [r.get("ident") for r in tables[0]] == ["KEEP"],
          "no layer: %s" % boxes)
finally:
    gpsim_unit.stop(unit)
finish()
