"""The receiver simulator on a pseudo-terminal that the probe reaches as
COM 3 (run it with --port 3 and the environment `start` returns)."""
import json, os, subprocess, time


def start(gpsim, folder, scenario, *options):
    """Starts gpsim in `folder` with a scenario (a dict, or a file's path) and
    waits for its link. Returns the process and the environment for the
    probe: COM 3 the link, the other ports and the drives nowhere."""
    os.makedirs(folder, exist_ok=True)
    if isinstance(scenario, dict):
        path = folder + "/unit.json"
        with open(path, "w") as f:
            json.dump(scenario, f)
        scenario = path
    link = folder + "/com3"
    unit = subprocess.Popen([gpsim, "--scenario", scenario, "--link", link, *options], stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 120
    while not os.path.exists(link):
        if unit.poll() is not None or time.monotonic() > deadline:
            unit.kill()
            raise RuntimeError("gpsim did not open its link")
        time.sleep(0.02)
    env = {"TREKFOLD_COM%d" % n: folder + "/missing" for n in range(1, 21)}
    env.update(TREKFOLD_COM3=link, TREKFOLD_DRIVES=folder + "/no-drive")
    return unit, env


def stop(unit):
    unit.terminate()
    unit.wait(60)
