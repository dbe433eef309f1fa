"""What the map host's from-outside tests share: the programs from the
command line, a run folder of their own (runtime, settings and temporary
folders), a document in EPSG:26915 with its ESRI text, served hosts and
attached runs, and the checks."""
import json, os, signal, subprocess, sys, tempfile, threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "trekfold-probe"))
from checks import check, eventually, finish, parse  # noqa: E402,F401

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


def cs2cs(points, src="EPSG:4326", dst="EPSG:26915"):
    """Points (lat, lon in EPSG:4326's order, or x, y) from SRC to DST, as cs2cs gives them."""
    out = subprocess.run(["cs2cs", "-f", "%.9f", src, dst], input="".join("%r %r\n" % p for p in points),
                         capture_output=True, text=True, check=True).stdout
    return [tuple(map(float, l.split()[:2])) for l in out.splitlines()]


class Lines:
    """A program whose JSON lines are read as they come (a line a vertex
    would fill an unread pipe)."""

    def __init__(self, words, env=env, start=True):
        self.p = subprocess.Popen(words, env=env, stdout=subprocess.PIPE, text=True)
        self.lines = []
        self.reader = threading.Thread(target=self.read)
        if start:
            self.reader.start()

    def read(self):
        for line in self.p.stdout:
            if line.startswith("{"):
                self.lines.append(json.loads(line))

    def seen(self, line):
        return eventually(lambda: line in self.lines or self.p.poll() is not None) and line in self.lines

    def wait(self):
        self.p.wait(600)
        self.reader.join()
        return self.lines


class Host(Lines):
    """A served `maphost --headless` with the extension on DOCUMENT; WORDS
    (answers, selections) run before it serves."""

    def __init__(self, document=doc, *words):
        serve = [] if "--serve" in words else ["serve"]
        super().__init__([maphost, "--headless", "--no-launch", "--extension", extension, "--doc", document,
                          *words] + serve, start=False)
        while not self.lines or "serving" not in self.lines[-1]:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("the host did not serve: %s" % self.lines)
            if line.startswith("{"):
                self.lines.append(json.loads(line))
        self.handle = self.lines[-1]["serving"]
        self.reader.start()

    def dump(self):
        return attach("dump")[0]["dump"]

    def map(self):
        return self.dump()["document"]["maps"][0]

    def boxes(self):
        return [(l["box"], l["title"]) for l in self.lines if "box" in l]

    def end(self, sig=signal.SIGTERM):
        self.p.send_signal(sig)
        self.wait()
        return self.p.returncode


def answering(*texts):
    """The host's words that answer its boxes and dialogs with TEXTS in turn."""
    return [w for t in texts for w in ("answer", t)]


def attach(*words, status=False):
    """WORDS run in the first served host (`maphost --attach`); STATUS adds
    {"exit":N} when the run failed."""
    r = subprocess.run([maphost, "--attach"] + list(words), env=env, capture_output=True, text=True, timeout=600)
    return parse(r.stdout) + ([{"exit": r.returncode}] if status and r.returncode else [])
