#!/usr/bin/env python3
"""LandView played from outside: a peer serving landview|whereform records
what Trekfold pokes, and pokes its own commands into trekfold|frmmain."""
import json, os, socket, subprocess, sys, tempfile, threading, time

probe = sys.argv[1]
run = tempfile.mkdtemp()
env = dict(os.environ, TREKFOLD_DDE_DIR=run + "/dde", TREKFOLD_WINDOWS_DIR=run + "/win", TMPDIR=run + "/tmp",
           TEMP=run + "/temp", QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
for d in ("tmp", "temp"):
    os.makedirs(run + "/" + d)
os.makedirs(run + "/dde", mode=0o700)
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def wait_for(cond, seconds=120):
    end = time.monotonic() + seconds
    while not cond():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


got = []
server = socket.socket(socket.AF_UNIX)
server.bind(run + "/dde/landview|whereform")
server.listen(8)


def talk(c):
    f = c.makefile("rwb")
    for line in f:
        got.append(json.loads(line))
        f.write(b'{"ok":true}\n')
        f.flush()


def accept():
    while True:
        c, _ = server.accept()
        threading.Thread(target=talk, args=(c,), daemon=True).start()


threading.Thread(target=accept, daemon=True).start()

p = subprocess.Popen([probe, "until", "fromdde", "END", "120000"], env=env,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
topic = run + "/dde/trekfold|frmmain"
check(wait_for(lambda: os.path.exists(topic)), "trekfold serves its topic")
t = socket.socket(socket.AF_UNIX)
t.connect(topic)
tf = t.makefile("rwb")


def poke(text):
    tf.write((json.dumps({"op": "poke", "item": "FromDDE", "data": text}) + "\n").encode())
    tf.flush()
    check(json.loads(tf.readline()) == {"ok": True}, "poke answered: " + text)


def pokes():
    return [m["data"] for m in got if m.get("op") == "poke"]


poke("  rgs")
check(wait_for(lambda: any(d.startswith("TCL") for d in pokes())), "RGS answered")
reply = [d for d in pokes() if d.startswith("TCL")]
check(reply and reply[0].startswith("TCL1,") and reply[0].endswith(",0,false"), "the location reply: %r" % reply)
poke("RGSX")
poke("lst")
poke("END")
out, err = p.communicate(timeout=600)
lines = [json.loads(l) for l in out.splitlines() if l.startswith("{")]
check(p.returncode == 0, "END ends the probe with 0: %r %s" % (p.returncode, err[-2000:]))
check([l["fromdde"] for l in lines if "fromdde" in l] == ["  rgs", "RGSX", "lst", "END"], "each command printed")
check({"end": True} in lines, "END printed")
boxes = [l["box"] for l in lines if "box" in l]
check("Errors encountered when loading " + run + "/temp/GarminTempFile.txt" in boxes,
      "LST without a file: %r" % boxes)
check(len([d for d in pokes() if d.startswith("TCL")]) == 1, "RGSX is no RGS: %r" % pokes())
if failures:
    print("\n".join(failures))
    sys.exit(1)
