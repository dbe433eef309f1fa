"""What the map host's from-outside tests share: the programs from the
command line, a run folder of their own (runtime, settings and temporary
folders), a document in EPSG:26915 with its ESRI text, and the checks."""
import json, os, subprocess, sys, tempfile

maphost, extension, probe = sys.argv[1], sys.argv[2], sys.argv[3]
run = tempfile.mkdtemp()
for d in ("run", "cfg", "tmp"):
    os.makedirs(os.path.join(run, d), mode=0o700)
env = dict(os.environ, XDG_RUNTIME_DIR=run + "/run", XDG_CONFIG_HOME=run + "/cfg", TMPDIR=run + "/tmp",
           QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
# Hosts and windows of this run only: the run's own folders, not a shared one.
for name in ("TREKFOLD_WINDOWS_DIR", "TREKFOLD_APPS_DIR", "TREKFOLD_DDE_DIR"):
    env.pop(name, None)
doc = run + "/doc.json"
json.dump({"maps": [{"name": "Layers", "spatial_reference": 26915, "extent": [460000, 5010000, 462000, 5012000]}]},
          open(doc, "w"))
esri = subprocess.run(["projinfo", "-o", "WKT1_ESRI", "-q", "EPSG:26915"], capture_output=True, text=True,
                      check=True).stdout.strip()
failures, checks = [], [0]


def check(cond, what):
    checks[0] += 1
    if not cond:
        failures.append(what)


def parse(out):
    return [json.loads(l) for l in out.splitlines() if l.startswith("{")]


def finish():
    print("%d passed, %d failed" % (checks[0] - len(failures), len(failures)))
    for f in failures:
        print("FAILED:", f)
    sys.exit(1 if failures else 0)
