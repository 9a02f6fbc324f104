#!/usr/bin/env python3
"""The arrival road of the engine under Wine, in simulation mode: from the arrival broadcast to the
share, for one drive and for eight drives plugged in at once, with the engine in the service (the
test build of the service, registered as the end-to-end runs register it) and, side by side in the
same run, in the earlier elevated tray program. Run by hand (scripts/bench.sh runs it with the other
benchmarks):

    bench/arrival_bench.py [--build-dir build/windows] [--rounds 5] [--engine service|tray|both]

Each engine runs on a fresh Wine prefix of its own (the tray program in a virtual desktop), as in the
end-to-end runs. Each round
plugs in drive E: alone, then E: to L: at once (eight `dvsim plug` processes started together), each
drive a folder with a velmora.conf (no web addresses, no auto-remove), and pulls them out again
(`dvsim unplug`) before the next round. One such round before the counted ones is not counted (the
first plug after a start can wait for windows that do not answer the broadcast yet).

For each drive the script watches from the host, every few milliseconds:
- broadcast: dvsim has recorded the drive as USB (usb-drives.tsv); it then makes the drive letter and
  sends the arrival broadcast;
- share: the share is in the simulation's share list (shares.tsv), as `dvsim shares` would show it;
- shared: "OK, Started sharing" is in the drive's activity log: the arrival is handled (account,
  rights, sound, balloon, log);
- returned: `dvsim plug` has returned, i.e. every window has handled the broadcast.
Times are from the start of the plug (process start); "broadcast to share" is the difference of the
two. No fixed wait of Dockvane's lies on this road (the 3000 ms and 3333 ms waits belong to the
removal by marker and the eject; the watcher's 3000 ms check interval is a time-out of its own
thread); pending messages are processed on the way, so with eight drives one arrival is handled
inside another's.
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_bench_support import Wine, e2e_support, read_text, summary, wait_for  # noqa: E402

LETTERS = "EFGHIJKL"


def make_drives(work):
    folders = {}
    for letter in LETTERS:
        folder = os.path.join(work, "drives", letter)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "velmora.conf"), "wb") as f:
            f.write((f"[Share]\r\nShareName=BENCH{letter}\r\nDescription=Arrival {letter}\r\n"
                     f"ShareUserName=extdisk_bench{letter.lower()}\r\nAutoRemove=False\r\n").encode("ascii"))
        folders[letter] = folder
    return folders


def table_lines(path):
    return read_text(path).split("\n")


def plug_at_once(wine, simulation, folders, letters):
    """Plugs the drives in together; returns {letter: {stage: seconds since its plug began}}."""
    drives_file = os.path.join(simulation, "usb-drives.tsv")
    shares_file = os.path.join(simulation, "shares.tsv")
    logs = {letter: os.path.join(folders[letter], "velmora-activity.log") for letter in letters}
    for path in logs.values():
        if os.path.exists(path):
            os.remove(path)
    started, processes, times = {}, {}, {letter: {} for letter in letters}
    for letter in letters:
        started[letter] = time.monotonic()
        processes[letter] = subprocess.Popen(["wine", os.path.join(wine.build, e2e_support.DVSIM), "plug", letter,
                                              folders[letter]], env=wine.env, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.PIPE)
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        now = time.monotonic()
        drives = [line.split("\t")[0] for line in table_lines(drives_file)]
        shares = [line.split("\t")[0] for line in table_lines(shares_file)]
        for letter in letters:
            stage = times[letter]
            if "broadcast" not in stage and letter in drives:
                stage["broadcast"] = now - started[letter]
            if "share" not in stage and f"BENCH{letter}" in shares:
                stage["share"] = now - started[letter]
            if "shared" not in stage and "Started sharing" in read_text(logs[letter]):
                stage["shared"] = now - started[letter]
            if "returned" not in stage and processes[letter].poll() is not None:
                stage["returned"] = now - started[letter]
                if processes[letter].returncode != 0:
                    raise RuntimeError(f"dvsim plug {letter}: {processes[letter].stderr.read().decode().strip()}")
        if all(len(stage) == 4 for stage in times.values()):
            break
        time.sleep(0.003)
    for letter, stage in times.items():
        if len(stage) != 4:
            raise RuntimeError(f"drive {letter}: only {sorted(stage)} seen within 120 s")
    return times


def unplug(wine, simulation, letters):
    processes = [subprocess.Popen(["wine", os.path.join(wine.build, e2e_support.DVSIM), "unplug", letter],
                                  env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                 for letter in letters]
    for process in processes:
        process.wait(timeout=120)
    shares_file = os.path.join(simulation, "shares.tsv")
    if not wait_for(lambda: not any(line.startswith("BENCH") for line in table_lines(shares_file)), 60, step=0.1):
        raise RuntimeError("the shares stayed after the drives were pulled out")
    time.sleep(1)


def report(title, rounds):
    """rounds: a list of {letter: {stage: seconds}}."""
    print(title)
    per_drive = [stage for times in rounds for stage in times.values()]
    print(f"  plug to broadcast        {summary([s['broadcast'] for s in per_drive])}")
    print(f"  broadcast to share       {summary([s['share'] - s['broadcast'] for s in per_drive])}")
    print(f"  broadcast to shared      {summary([s['shared'] - s['broadcast'] for s in per_drive])}")
    print(f"  plug to dvsim returned   {summary([s['returned'] for s in per_drive])}")
    if len(rounds[0]) > 1:
        # The whole batch: from the first plug's start to the last share, per round.
        print(f"  first plug to last share {summary([max(s['share'] for s in t.values()) for t in rounds])}")
        print(f"  first plug to last shared {summary([max(s['shared'] for s in t.values()) for t in rounds])}")


def start_service(wine):
    """The engine's service, started and ready: its start line logged, the master account made."""
    wine.install_engine_service(wine.env["DOCKVANE_SIMULATION"])
    wine.sc("start", e2e_support.ENGINE_SERVICE)
    log = e2e_support.app_log_path(wine)
    ready = wait_for(lambda: "Start" in read_text(log) and any(
        line.startswith(e2e_support.MASTER + "\t") for line in wine.lines("accounts")), 60, step=0.5)
    if not ready:
        raise RuntimeError("the engine's service did not start")


def run(wine, work, rounds, engine):
    simulation = os.path.join(work, "simulation")
    os.makedirs(simulation, exist_ok=True)
    wine.env["DOCKVANE_SIMULATION"] = "Z:" + simulation.replace("/", "\\")
    folders = make_drives(work)
    print(f"== the engine in {'the service' if engine == 'service' else 'the tray program'}", flush=True)
    if engine == "service":
        start_service(wine)
    else:
        e2e_support.start_dockvane(wine)
    one, eight = [], []
    for round_ in range(rounds + 1):
        single = plug_at_once(wine, simulation, folders, "E")
        unplug(wine, simulation, "E")
        batch = plug_at_once(wine, simulation, folders, LETTERS)
        unplug(wine, simulation, LETTERS)
        label = f"round {round_}" if round_ else "warm-up"
        print(f"..    {label}: one drive shared after {single['E']['share'] * 1000:.0f} ms; eight drives, "
              f"the last shared after {max(s['share'] for s in batch.values()) * 1000:.0f} ms", flush=True)
        if round_:
            one.append(single)
            eight.append(batch)
    print()
    report("One drive (E:)", one)
    report("Eight drives at once (E: to L:), figures per drive", eight)
    stalls = [s["returned"] for t in one + eight for s in t.values() if s["returned"] > 10]
    if stalls:
        print(f"  {len(stalls)} plug(s) waited for the broadcast's 15 s time-out (a window that did not answer)")
    if engine == "service":
        wine.sc("stop", e2e_support.ENGINE_SERVICE)
    print()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default="build/windows", help="the windows preset's build folder")
    parser.add_argument("--rounds", type=int, default=5, help="counted rounds of one and of eight drives")
    parser.add_argument("--engine", choices=("service", "tray", "both"), default="both",
                        help="where the engine runs: the service, the earlier tray program, or both in turn")
    options = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped from outside"))
    for engine in ("service", "tray") if options.engine == "both" else (options.engine,):
        work = tempfile.mkdtemp(prefix="dockvane-bench-")
        wine = Wine(work, os.path.abspath(options.build_dir))
        try:
            wine.boot()
            run(wine, work, options.rounds, engine)
        finally:
            wine.stop()
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
