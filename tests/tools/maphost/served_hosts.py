#!/usr/bin/env python3
"""Served map hosts from outside: `maphost --serve` with the extension and a
document in EPSG:26915, `maphost --attach` and trekfold-probe beside it, a
host peer of our own written from the protocol's description that dies
during a call, and hostile peers on the host's socket. cs2cs and projinfo
give the projected points."""
import json, os, select, signal, socket, struct, subprocess, threading

from host_run import (Host, attach, check, cs2cs, doc, env, esri, eventually, extension, finish, maphost, parse,
                      probe, run)

apps = run + "/run/trekfold-apps"


def calls(lines):
    return [l for l in lines if "call" in l or "error" in l]


# The words of the in-process class checks give the same lines in the host's own
# process and across processes; x, y and the pairs come back changed.
words = ["create", "Trekfold_ArcMap.clsArcMap", "call", "Get_WindowHandle", "call", "Set_WindowHandle", "1234",
         "call", "Get_WindowHandle", "call", "DataFrame_Refresh", "call", "Project_XY", "-93.5", "45.25", "false",
         '""', json.dumps(esri), "call", "project_XYs", json.dumps([[-93.5, 45.25], ["-93.4", "45.3"]]), "false",
         '""', json.dumps(esri)]
local = parse(subprocess.run([maphost, "--headless", "--extension", extension, "--doc", doc] + words, env=env,
                             capture_output=True, text=True, timeout=300).stdout)
host = Host(doc, "--serve")
remote = attach(*words)
check(calls(remote) == calls(local) and len(calls(remote)) == 6, "across processes: %s vs %s" % (remote, local))
check(remote[4]["error"]["number"] == 91 and remote[4]["error"]["source"] != "", "VbError whole: %s" % remote[4])
x, y = cs2cs([(45.25, -93.5)])[0]
check(abs(remote[5]["args"][0] - x) < 1e-3 and abs(remote[5]["args"][1] - y) < 1e-3, "Project_XY: %s" % remote[5])
pairs = remote[6]["args"][0]
check(abs(pairs[1][0] - cs2cs([(45.3, -93.4)])[0][0]) < 1e-3, "project_XYs: %s" % remote[6])

# Hostile peers on the host's socket: each connection closes, the host goes on.
path = "%s/%d" % (apps, host.handle)


def closed_after(data, cut=False):
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    s.sendall(data)
    if cut:
        s.close()
        return True
    s.settimeout(300)
    got = s.recv(16)
    s.close()
    return got == b""


call_head = bytes([1]) + struct.pack("<IIiBI", 1, 1, 1, 1, 0x7fffffff)
check(closed_after(struct.pack("<I", 0x80000000) + b"\x01"), "2 GiB frame")
check(closed_after(struct.pack("<I", len(call_head)) + call_head), "count beyond the bytes")
closed_after(struct.pack("<I", 100) + call_head, cut=True)
if os.getuid() == 0:
    child = os.fork()
    if child == 0:
        os.setuid(65534)
        try:
            ok = closed_after(struct.pack("<I", 1) + b"\x05")
        except OSError:
            ok = True  # the folder is ours alone
        os._exit(0 if ok else 1)
    check(os.waitpid(child, 0)[1] == 0, "a peer of another user is refused")
check(calls(attach("create", "Trekfold_ArcMap.clsArcMap", "call", "Get_WindowHandle"))[0]["result"] == -1,
      "the host serves on after hostile peers")
# The objects made for a program go with its connection.
check(attach("dump")[0]["dump"]["objects"] == [], "no object left of the programs gone")

# trekfold beside the host (its toolbar hidden): attached at the refresh, a
# row projected through the host, the geodatabase save raises the host's
# view and opens its browse dialog; the host ended: the next refresh drops
# it; a new host: attached.
probe_words = ["--arcgis", "setting", "proj", "projfile", "arcmap", "setting", "proj", "am_proj", esri, "menu",
               "mnuRefreshApps", "row", "ident=A", "lat=45.25", "long=-93.5", "menu", "mnuProjectCoordinates", "table",
               "menu", "mnuArcMapGDBS", "until", "hosts", "0", "menu", "mnuRefreshApps", "menus", "until", "hosts",
               "1", "menu", "mnuRefreshApps", "menus"]
pr = subprocess.Popen([probe] + probe_words, env=env, stdout=subprocess.PIPE, text=True)
# The save has reached the host when its browse dialog (unanswered: cancelled)
# prints.
eventually(lambda: any(l.get("dialog") == "Save To Existing Feature Class" for l in host.lines))
seen = []
state = attach("dump")[0]["dump"]
bar = state["toolbars"][0]
check(bar["visible"] and bar["dock"] == 32 and bar["items"][1]["progid"] == "TREKFOLD_ARCMAP.clsCommandOpen",
      "the bar docked: %s" % bar)
check(all(i.get("command") for i in bar["items"][1:]), "the bar's commands made: %s" % bar)
check([(o["kind"], o.get("window_handle")) for o in state["objects"]] == [("clsArcMap", host.handle)],
      "one class object, given the host's window: %s" % state["objects"])
# Attaching made the bar's commands and ran none: Open started nothing.
check(host.end() == 0 and {"raised": host.handle} in host.lines and not [l for l in host.lines if "launch" in l],
      "the host raised, nothing launched: %s" % host.lines)
check(not os.path.exists(path) and not os.path.exists("%s/run/trekfold-windows/%d" % (run, host.handle)),
      "the host's files removed")
for line in pr.stdout:
    seen.append(json.loads(line))
    if "menus" in seen[-1]:
        break
second = Host(doc, "--serve")
seen += parse(pr.communicate(timeout=300)[0])
caps = [l["caption"] for l in seen if "caption" in l]
menus = [l["menus"] for l in seen if "menus" in l]
check(caps[-3:] == ["Ostrevane - Garmin / ArcMap ", "Ostrevane - Garmin ", "Ostrevane - Garmin / ArcMap "],
      "captions: %s" % caps)
check(not menus[0]["mnuArcMapS"]["enabled"] and menus[1]["mnuArcMapS"]["enabled"], "ArcMap menus off, then on")
row = [l for l in seen if "row" in l][0]
x, y = cs2cs([(45.25, -93.5)])[0]
check(abs(float(row["x_proj"]) - x) < 1e-3 and abs(float(row["y_proj"]) - y) < 1e-3, "row through the host: %s" % row)
second.end()


# A host peer of our own, from the protocol's description: announced below the
# real host, it serves the application and dies (SIGKILL) at the first call on
# the class object. trekfold gets 462 and goes on; the next refresh attaches
# the real host. maphost --attach gets 462 at once.
def frame(payload):
    return struct.pack("<I", len(payload)) + payload


def value(kind, data=b""):
    return struct.pack("<H", kind) + data


def peer_host(handle):
    os.makedirs(run + "/run/trekfold-windows", mode=0o700, exist_ok=True)
    ready_r, ready_w = os.pipe()
    pid = os.fork()
    if pid:
        os.close(ready_w)
        os.read(ready_r, 1)
        # Reaped as soon as it dies, so its window counts as gone at once.
        reaper = threading.Thread(target=os.waitpid, args=(pid, 0))
        reaper.start()
        return reaper
    s = socket.socket(socket.AF_UNIX)
    if os.path.exists("%s/%d" % (apps, handle)):
        os.unlink("%s/%d" % (apps, handle))  # left by the peer before
    s.bind("%s/%d" % (apps, handle))
    s.listen(4)
    open("%s/run/trekfold-windows/%d" % (run, handle), "w").write("%d\nAfx:00400000:b:1\nUntitled - ArcMap\n"
                                                                    % os.getpid())
    os.write(ready_w, b"1")
    names = {"isarcmap": 1, "hwnd": 2, "findbar": 3, "create": 4}
    while True:
        c, _ = s.accept()
        buf = b""
        while True:
            data = c.recv(65536)
            if not data:
                break
            buf += data
            while len(buf) >= 4 and len(buf) >= 4 + struct.unpack("<I", buf[:4])[0]:
                n = struct.unpack("<I", buf[:4])[0]
                msg, buf = buf[4:4 + n], buf[4 + n:]
                kind, call = msg[0], struct.unpack("<I", msg[1:5])[0]
                if kind == 4:  # Names: u32 handle, TEXT name
                    name = msg[13:].decode().lower()
                    c.sendall(frame(bytes([2]) + struct.pack("<I", call) + value(3, struct.pack("<i", names.get(name, 9)))
                                    + struct.pack("<I", 0)))
                elif kind == 1:
                    handle_, dispid = struct.unpack("<Ii", msg[5:13])
                    if handle_ != 1:
                        os.kill(os.getpid(), signal.SIGKILL)
                    result = {1: value(11, b"\x01"), 2: value(3, struct.pack("<i", handle)),
                              3: value(9, b"\x00" + struct.pack("<I", 0)), 4: value(9, b"\x00" + struct.pack("<I", 2))}
                    c.sendall(frame(bytes([2]) + struct.pack("<I", call) + result[dispid] + struct.pack("<I", 0)))


peer = peer_host(100)
gone = attach("create", "Trekfold_ArcMap.clsArcMap", "call", "Get_WindowHandle")
check(gone[-1].get("error", {}).get("number") == 462, "attach: 462 when the host dies in a call: %s" % gone)
peer.join()
peer = peer_host(100)
host = Host(doc, "--serve")
lines = parse(subprocess.run([probe, "--arcgis", "menu", "mnuRefreshApps", "until", "hosts", "1", "menu",
                              "mnuRefreshApps", "menu", "mnuArcMapGDBS"], env=env, capture_output=True, text=True,
                             timeout=600).stdout)
peer.join()
host.end()
check({"raised": host.handle} in host.lines, "the other host attached after the first died: %s" % lines)


# Peers that misbehave on purpose, on a host of their own: one that answers
# each call-back with another call, one that never reads its answers, one
# that floods small calls unread, one that sends a frame of empty items too
# many to decode. Each is refused or held; the host serves the others on.
def text(t):
    return struct.pack("<I", len(t.encode())) + t.encode()


def receive(s):
    try:
        head = s.recv(4, socket.MSG_WAITALL)
        if len(head) < 4:
            return None
        return s.recv(struct.unpack("<I", head)[0], socket.MSG_WAITALL)
    except ConnectionResetError:
        return None


def ask(s, handle, name, args=b"", argc=0):
    """The member NAME of HANDLE called; its answer's payload."""
    s.sendall(frame(bytes([4]) + struct.pack("<II", 1, handle) + text(name)))
    dispid = struct.unpack("<i", receive(s)[7:11])[0]
    s.sendall(frame(bytes([1]) + struct.pack("<IIiBI", 2, handle, dispid, 1, argc) + args))
    return dispid, receive(s)


def handle_of(answer):
    return struct.unpack("<I", answer[8:12])[0]


def rss(pid):
    return int([l for l in open("/proc/%d/status" % pid) if l.startswith("VmRSS")][0].split()[1]) << 10


def connect(host):
    s = socket.socket(socket.AF_UNIX)
    s.connect("%s/%d" % (apps, host.handle))
    s.settimeout(600)
    return s


def hwnd(host):
    c = connect(host)
    answer = ask(c, 1, "hWnd")[1]
    c.close()
    return struct.unpack("<i", answer[7:11])[0]


host = Host(doc, "--serve")
nest = connect(host)
bar = handle_of(ask(nest, 1, "FindBar", value(8, text("{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}")), 1)[1])
ask(nest, bar, "Dock", value(3, struct.pack("<i", 32)), 1)
cls = handle_of(ask(nest, 1, "Create", value(8, text("Trekfold_ArcMap.clsArcMap")), 1)[1])
# PlotCEP asks the peer's object (handle 77) for its items: each of those
# call-backs is answered with another PlotCEP.
nest.sendall(frame(bytes([4]) + struct.pack("<II", 3, cls) + text("PlotCEP")))
plot = struct.unpack("<i", receive(nest)[7:11])[0]
mine = value(9, b"\x00" + struct.pack("<I", 77))
nested, backs, answer = 0, [], None
nest.sendall(frame(bytes([1]) + struct.pack("<IIiBI", 1000, cls, plot, 1, 1) + mine))
while answer is None and nested < 10000:
    m = receive(nest)
    if m is None or m[0] in (2, 3):
        answer = m or b"closed"
        break
    elif m[0] == 4:
        backs.append(struct.unpack("<I", m[1:5])[0])
        nested += 1
        nest.sendall(frame(bytes([1]) + struct.pack("<IIiBI", 1000 + nested, cls, plot, 1, 1) + mine))
check(answer is not None and answer[0] == 3 and struct.unpack("<i", answer[5:9])[0] == 28 and nested == 64,
      "nested call-backs: an error past 64: %d, %r" % (nested, answer and answer[:9]))
# Held there (its call-backs unanswered), it leaves the others served.
check(hwnd(host) == host.handle, "another client served beside the nested peer")
for b in backs:
    nest.sendall(frame(bytes([3]) + struct.pack("<Ii", b, 438) + text("") + text("no such member")))
unwound = 0
while unwound < nested:
    m = receive(nest)
    if m is None:
        break
    unwound += m[0] in (2, 3)
check(unwound == nested and hwnd(host) == host.handle, "unwound, the host serves on: %d" % unwound)
nest.close()

# 10,000 Dump() calls whose answers are never read: another client is
# answered meanwhile, and the peer stays connected.
deaf = connect(host)
dump, _ = ask(deaf, 1, "Dump")
deaf.setblocking(False)
calls = b"".join(frame(bytes([1]) + struct.pack("<IIiBI", 10 + i, 1, dump, 1, 0)) for i in range(10000))
try:
    calls = calls[deaf.send(calls):]
except BlockingIOError:
    pass
check(hwnd(host) == host.handle, "another client answered while a peer does not read")

# Small calls written as long as the host takes them, none read: the host
# stops reading that peer, and its memory stays where it was.
before = rss(host.p.pid)
flood = connect(host)
h, _ = ask(flood, 1, "hWnd")
flood.setblocking(False)
small = frame(bytes([1]) + struct.pack("<IIiBI", 5, 1, h, 1, 0)) * 4096
taken = 0
while taken < (256 << 20):
    try:
        taken += flood.send(small)
    except BlockingIOError:
        ready = select.select([], [flood], [], 3)[1]
        if not ready:
            break
check(taken < (256 << 20) and rss(host.p.pid) - before < (64 << 20) and hwnd(host) == host.handle,
      "a flood unread is held: %d bytes taken, %d MB more" % (taken, (rss(host.p.pid) - before) >> 20))
deaf.close()
flood.close()

# A frame of 256 MiB of empty items (two bytes each): refused, the connection
# closed; the host serves on.
huge = connect(host)
head = bytes([1]) + struct.pack("<IIiBI", 1, 1, 1, 1, 1)
count = ((256 << 20) - len(head) - 11) // 2
head += struct.pack("<HBiI", 0x200C, 1, 0, count)
huge.sendall(struct.pack("<I", len(head) + 2 * count) + head)
zeros = bytes(1 << 20)
try:
    for i in range(2 * count // len(zeros)):
        huge.sendall(zeros)
    huge.sendall(zeros[:2 * count % len(zeros)])
    refused = huge.recv(16) == b""
except (BrokenPipeError, ConnectionResetError):
    refused = True
check(refused and hwnd(host) == host.handle, "a frame too large decoded: refused")
huge.close()
shown = attach("toolbar", "{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}", "toolbar", "{00000000-0000-0000-0000-000000000000}")
check(len(shown) == 2 and shown[0]["found"] and shown[0]["name"] and not shown[1]["found"],
      "toolbar attached: %s" % shown)
check(host.end() == 0, "the host ends well after the peers")

finish()
