"""Quiet mode from outside: the program, with no display, downloads from the
receiver simulator on the stored port and exits with the job's result;
ogrinfo reads what it wrote. Usage: quiet_program.py TREKFOLD GPSIM SCENARIOS"""
import os, subprocess, sys, tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "trekfold-probe"))
import gpsim_unit  # noqa: E402

trekfold, gpsim, scenarios = sys.argv[1:4]
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(folder, scenario, line):
    """Runs one quiet line against `scenario` (None: no receiver at all) with
    port 7 stored; returns the exit status."""
    home = folder + "/home"
    os.makedirs(home + "/trekfold", exist_ok=True)
    with open(home + "/trekfold/trekfold.ini", "w") as f:
        f.write("[port]\nport=7\n")
    unit = None
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update({"TREKFOLD_COM%d" % n: folder + "/missing" for n in range(1, 21)})
    env.update(XDG_CONFIG_HOME=home, TMPDIR=folder, TREKFOLD_DRIVES=folder + "/no-drive",
               TREKFOLD_DDE_DIR=folder + "/dde", TREKFOLD_WINDOWS_DIR=folder + "/windows")
    if scenario:
        unit, unit_env = gpsim_unit.start(gpsim, folder + "/unit", os.path.join(scenarios, scenario))
        env["TREKFOLD_COM7"] = unit_env["TREKFOLD_COM3"]
    try:
        done = subprocess.run([trekfold, line], env=env, cwd=folder, timeout=600,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    finally:
        if unit:
            gpsim_unit.stop(unit)
    return done.returncode, done.stdout


def features(path):
    out = subprocess.run(["ogrinfo", "-ro", "-al", "-so", path], stdout=subprocess.PIPE, text=True).stdout
    for line in out.splitlines():
        if line.startswith("Feature Count:"):
            return int(line.split(":")[1])
    return -1


with tempfile.TemporaryDirectory() as d:
    rc, out = run(d, "d108-unit.json", "quiet,download,waypoint,point," + d + "/wpts.shp,26915")
    check("download exits 0 (%d): %s" % (rc, out[-2000:]), rc == 0)
    check("ogrinfo reads the unit's four waypoints", features(d + "/wpts.shp") == 4)

with tempfile.TemporaryDirectory() as d:
    rc, out = run(d, "no-tracks-unit.json", "quiet,download,track,line," + d + "/t.shp")
    check("a unit without tracks exits 1 (%d): %s" % (rc, out[-2000:]), rc == 1)
    check("nothing written without tracks", not os.path.exists(d + "/t.shp"))

with tempfile.TemporaryDirectory() as d:
    rc, out = run(d, None, "quiet,download,waypoint,point," + d + "/w.shp")
    check("no receiver exits 1 (%d): %s" % (rc, out[-2000:]), rc == 1)
    check("nothing written without a receiver", not os.path.exists(d + "/w.shp"))

sys.exit(1 if failures else 0)
