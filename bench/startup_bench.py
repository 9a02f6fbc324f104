#!/usr/bin/env python3
"""Start-up of the real Dockvane.exe under Wine beside a minimal tray program, and what wakes up when
it idles; "Dockvane.exe" below is the test tray DockvaneTray.exe, engine and tray in one process. Run by hand (scripts/bench.sh runs it with the other benchmarks):

    bench/startup_bench.py [--build-dir build/windows] [--rounds 10] [--idle 30]

In one fresh Wine prefix, in one virtual desktop with a notification area, the script starts
bench/minimal_tray.exe (a hidden window and its notification icon, nothing else) and Dockvane.exe (in
simulation mode, with no drive plugged in) in turns, `--rounds` times each after one start each that
is not counted (the first start of a program in a prefix pays for Wine's caches). A start is timed
from the moment the host starts the process (`wine PROGRAM`) to the moment its icon shows in the
notification area, seen in the display's pixels: nothing inside either program is asked. For
Dockvane.exe the time to its "Start" line in the application log (its controller's start-up has begun)
is given too. Dockvane.exe is ended through its tray's Exit each time, the minimal program ends by
itself.

Then each program runs once more and is left alone for `--idle` seconds: the host kernel's count of
context switches of each of its threads tells which threads woke up and how often. Wine's own threads
are the same in both; Dockvane's timers and threads show as the difference.
"""

import argparse
import glob
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_bench_support import (DESKTOP, Screen, Wine, idle_wakeups, read_text, start_desktop,  # noqa: E402
                                summary, wait_for, wine_processes)

DOCKVANE = "src/DockvaneTray.exe"
MINIMAL = "bench/minimal_tray.exe"
PROBE = "tests/e2e/e2e_process_probe.exe"
MINIMAL_STAYS_MS = 1500


def time_to_icon(wine, screen, program, *args, log=None):
    """Starts the program and returns (process, seconds to its icon, seconds to the log's "Start"
    line or None)."""
    baseline = screen.pixels()
    log_size = len(read_text(log())) if log else 0
    started = time.monotonic()
    # Dockvane in simulation mode runs beside the stand-in network-management library, as in the
    # end-to-end runs.
    path = wine.dockvane() if program == DOCKVANE else os.path.join(wine.build, program)
    process = subprocess.Popen(["wine", path, *args], env=wine.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    icon = None
    while time.monotonic() - started < 60:
        if screen.pixels() != baseline:
            icon = time.monotonic() - started
            break
        if process.poll() is not None:
            break
        time.sleep(0.002)
    start_line = None
    if log and icon is not None:
        if wait_for(lambda: "Start" in read_text(log())[log_size:], 30, step=0.005):
            start_line = time.monotonic() - started
    return process, icon, start_line, baseline


def app_log(wine):
    """Velmora.log of the prefix's user (the folder "Public" holds none)."""
    found = glob.glob(os.path.join(wine.env["WINEPREFIX"], "drive_c", "users", "*", "Temp", "Velmora.log"))
    return found[0] if found else ""


def end_dockvane(wine, process):
    code, out, _ = wine.run(PROBE, "exit", "DockvaneTray.exe", "20000", timeout=60)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        print(f"..    Dockvane.exe did not end by its Exit ({out.strip()}); killed", flush=True)


def wait_icon_gone(screen, baseline):
    wait_for(lambda: screen.pixels() == baseline, 10, step=0.05)


def run(wine, work, rounds, idle):
    simulation = os.path.join(work, "simulation")
    wine.env["DOCKVANE_SIMULATION"] = "Z:" + simulation.replace("/", "\\")
    # The desktop stays open for the whole run: a minimal tray program keeps it (its icon is part of
    # every start's first picture).
    start_desktop(wine, MINIMAL)
    screen = Screen(wine.env["DISPLAY"])
    log = lambda: app_log(wine)
    if not wait_for(lambda: screen.pixels() != b"" and wine.window_pid(f"{DESKTOP} - Wine desktop"), 60):
        raise RuntimeError("the virtual desktop did not open")
    time.sleep(2)

    icons = {MINIMAL: [], DOCKVANE: []}
    start_lines = []
    for round_ in range(rounds + 1):
        counted = round_ > 0
        for program in (MINIMAL, DOCKVANE):
            if program == MINIMAL:
                process, icon, _, baseline = time_to_icon(wine, screen, MINIMAL, str(MINIMAL_STAYS_MS))
                process.wait(timeout=60)
            else:
                process, icon, start_line, baseline = time_to_icon(wine, screen, DOCKVANE, log=log)
                time.sleep(2)  # let the start-up finish before Exit
                end_dockvane(wine, process)
                if counted and start_line is not None:
                    start_lines.append(start_line)
            if icon is None:
                raise RuntimeError(f"{program}: no icon showed")
            wait_icon_gone(screen, baseline)
            print(f"..    {'round ' + str(round_) if counted else 'warm-up'}  {os.path.basename(program):17} "
                  f"icon after {icon * 1000:7.1f} ms", flush=True)
            if counted:
                icons[program].append(icon)

    print()
    print("Start-up under Wine: process start to its icon in the notification area")
    minimal = statistics.median(icons[MINIMAL])
    dockvane = statistics.median(icons[DOCKVANE])
    print(f"  minimal_tray.exe   {summary(icons[MINIMAL])}")
    print(f"  Dockvane.exe       {summary(icons[DOCKVANE])}")
    print(f"  ratio of the medians  {dockvane / minimal:.2f} (goal: at most 1.5)")
    print(f"  Dockvane.exe to its \"Start\" log line  {summary(start_lines)}")

    print()
    print(f"Idle: context switches per thread over {idle} s, after the start-up, no drive plugged in")
    for program, args in ((MINIMAL, (str((idle + 20) * 1000),)), (DOCKVANE, ())):
        name = os.path.basename(program)
        process, _, _, _ = time_to_icon(wine, screen, program, *args, log=log if program == DOCKVANE else None)
        time.sleep(5)
        pids = wine_processes(wine, name)
        if not pids:
            print(f"  {name}: process not found")
            continue
        threads = ""
        if program == DOCKVANE:
            _, out, _ = wine.run(PROBE, "stats", "DockvaneTray.exe", timeout=60)
            threads = " ".join(item for item in out.split() if item.startswith("threads="))
        rows = idle_wakeups(pids[0], idle)
        print(f"  {name} (host process {pids[0]}; Windows side: {threads or 'not read'})")
        for tid, thread, switches in rows:
            print(f"    thread {tid:>8} {thread:16} {switches:5} switches  ({switches / idle:.2f}/s)")
        if program == DOCKVANE:
            end_dockvane(wine, process)
    screen.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default="build/windows", help="the windows preset's build folder")
    parser.add_argument("--rounds", type=int, default=10, help="starts of each program that are timed")
    parser.add_argument("--idle", type=int, default=30, help="seconds each program is watched idling")
    options = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped from outside"))
    work = tempfile.mkdtemp(prefix="dockvane-bench-")
    wine = Wine(work, os.path.abspath(options.build_dir))
    try:
        wine.boot()
        run(wine, work, options.rounds, options.idle)
    finally:
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
