"""What the from-outside test scripts share: checks counted as they run and
reported at the end, the JSON lines a program printed, and waiting on
another process's state."""
import json, sys, time

failures, checks = [], [0]


def check(cond, what):
    checks[0] += 1
    if not cond:
        failures.append(what)


def parse(out):
    return [json.loads(l) for l in out.splitlines() if l.startswith("{")]


def eventually(cond, seconds=600):
    """Polls `cond` (another process's state) until it holds."""
    end = time.monotonic() + seconds
    while not cond():
        if time.monotonic() > end:
            return False
        time.sleep(0.02)
    return True


def finish():
    for f in failures:
        print("FAILED:", f)
    print("%d passed, %d failed" % (checks[0] - len(failures), len(failures)))
    sys.exit(1 if failures else 0)
