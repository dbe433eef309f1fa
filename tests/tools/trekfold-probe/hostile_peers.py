#!/usr/bin/env python3
"""Local peers that misbehave, from outside: servers that listen but never
accept at LandView's and ArcView's topics and at an announced map host's
socket, then a crowd of clients holding half lines to trekfold|frmmain under
a low descriptor limit. The main window comes up and answers pokes
throughout; memory and processor time stay small.
Usage: hostile_peers.py PROBE"""
import json, os, resource, socket, subprocess, sys, tempfile, threading, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from checks import check, eventually, finish  # noqa: E402

probe = sys.argv[1]
d = tempfile.mkdtemp()
for sub in ("tmp", "home", "dde", "win", "apps"):
    os.makedirs(d + "/" + sub, mode=0o700)
env = dict(os.environ, TREKFOLD_DDE_DIR=d + "/dde", TREKFOLD_WINDOWS_DIR=d + "/win", TREKFOLD_APPS_DIR=d + "/apps",
           TMPDIR=d + "/tmp", QT_QPA_PLATFORM="offscreen",
           # A small quarantine, so freed memory is given back as it would
           # be without the address sanitizer.
           ASAN_OPTIONS="detect_leaks=0:quarantine_size_mb=8")


def never_accepts(path):
    """A server at `path` whose one queue place is taken: connect() to it
    would wait until it accepts, which it never does."""
    s = socket.socket(socket.AF_UNIX)
    s.bind(path)
    s.listen(0)
    q = socket.socket(socket.AF_UNIX)
    q.connect(path)
    return s, q


stuck = [never_accepts(d + "/dde/landview|whereform"), never_accepts(d + "/dde/arcview|system"),
         never_accepts(d + "/apps/65536")]
with open(d + "/win/65536", "w") as f:
    f.write("%d\nAfx:00400000:b:%d\nUntitled - ArcMap\n" % (os.getpid(), os.getpid()))


class Probe:
    def __init__(self, *words, limit=None):
        def lower_limit():
            if limit:
                resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))
        self.lines = []
        self.p = subprocess.Popen([probe, "--home", d + "/home"] + list(words), env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True, preexec_fn=lower_limit)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.p.stdout:
            if line.startswith("{"):
                self.lines.append(json.loads(line))

    def window(self):
        return next((l for l in self.lines if l.get("window") == "frmMain"), None)

    def stat(self):
        """Processor seconds used, and resident megabytes."""
        fields = open("/proc/%d/stat" % self.p.pid).read().rsplit(")", 1)[1].split()
        ticks = os.sysconf("SC_CLK_TCK")
        return (int(fields[11]) + int(fields[12])) / ticks, int(fields[21]) * os.sysconf("SC_PAGE_SIZE") / 2**20

    def stop(self):
        alive = self.p.poll() is None
        self.p.kill()
        self.p.wait()
        return alive


def poke(text):
    """A fresh client's poke to trekfold|frmmain: its answer, or None."""
    c = socket.socket(socket.AF_UNIX)
    c.settimeout(60)
    try:
        c.connect(d + "/dde/trekfold|frmmain")
        c.sendall((json.dumps({"op": "poke", "item": "FromDDE", "data": text}) + "\n").encode())
        return json.loads(c.makefile("rb").readline())
    except (OSError, ValueError):
        return None
    finally:
        c.close()


# Start-up's look for the programs and a refresh tick meet only the stuck
# servers: the window comes up without them and pokes are answered.
p = Probe("--arcgis", "wait", "3000", "window", "frmMain", "wait", "600000")
check(eventually(lambda: p.window() is not None, 120), "the main window came up beside servers that never accept")
caption = (p.window() or {}).get("caption", "")
for name in ("Landview", "Arcview", "ArcMap"):
    check(name not in caption, "%s not in the caption %r" % (name, caption))
check(poke("first") == {"ok": True}, "a poke is answered while the stuck servers stay")
check(p.stop(), "the probe was still running")
for s, q in stuck:
    q.close()
    s.close()

# A map host that takes each connection and never answers: attaching gives
# up on it, and later ticks do not wait on it again.
silent = socket.socket(socket.AF_UNIX)
os.unlink(d + "/apps/65536")
silent.bind(d + "/apps/65536")
silent.listen(16)
held = []
threading.Thread(target=lambda: [held.append(silent.accept()) for _ in iter(int, 1)], daemon=True).start()
p = Probe("--arcgis", "wait", "3000", "window", "frmMain", "wait", "600000")
check(eventually(lambda: p.window() is not None, 120), "the main window came up beside a host that never answers")
check("ArcMap" not in (p.window() or {}).get("caption", "ArcMap"), "no ArcMap in the caption")
started = time.monotonic()
check(poke("later") == {"ok": True} and time.monotonic() - started < 4, "a later tick does not wait on it again")
check(p.stop(), "the probe was still running")
silent.close()

# A crowd of half lines under a descriptor limit of 1024.
resource.setrlimit(resource.RLIMIT_NOFILE, (4096, max(4096, resource.getrlimit(resource.RLIMIT_NOFILE)[1])))
p = Probe("wait", "600000", limit=1024)
check(eventually(lambda: poke("ready") == {"ok": True}, 120), "the topic is served")
_, rss_before = p.stat()
crowd, half = [], b'{"op":"poke","item":"FromDDE","data":"' + b"h" * (256 << 10)
for _ in range(1000):
    c = socket.socket(socket.AF_UNIX)
    c.setblocking(False)
    for _ in range(5000):  # while the topic's queue is full
        try:
            c.connect(d + "/dde/trekfold|frmmain")
            crowd.append([c, 0])
            break
        except BlockingIOError:
            time.sleep(0.001)
        except OSError:
            c.close()
            break
# Each sends what its socket takes, until none takes more.
moved = True
while moved:
    moved = False
    for entry in crowd:
        c, sent = entry
        if sent < len(half):
            try:
                n = c.send(half[sent:])
            except OSError:
                n = 0
            if n > 0:
                entry[1] += n
                moved = True
    time.sleep(0.05)
cpu_before, _ = p.stat()
time.sleep(3)
cpu_after, rss_after = p.stat()
print("crowd of %d: memory grew by %.1f MB, %.2f s of processor time over 3 s" % (len(crowd), rss_after - rss_before,
                                                                               cpu_after - cpu_before))
check(rss_after - rss_before < 64, "memory grew by %.0f MB" % (rss_after - rss_before))
check(cpu_after - cpu_before < 0.3, "%.2f s of processor time over 3 s" % (cpu_after - cpu_before))
for c, _ in crowd:
    c.close()
check(eventually(lambda: poke("after") == {"ok": True}, 120), "a fresh client's poke is answered after the crowd")
check(p.stop(), "the probe was still running")
finish()
