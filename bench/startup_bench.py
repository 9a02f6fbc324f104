#!/usr/bin/env python3
"""Start-up of the face under Wine beside a minimal tray program, and what wakes up when the face and
the engine's service idle. Run by hand (scripts/bench.sh runs it with the other benchmarks):

    bench/startup_bench.py [--build-dir build/windows] [--rounds 10] [--idle 30]

In one fresh Wine prefix the test build of the engine's service runs (simulation mode, no drive
plugged in), registered as the end-to-end runs register it. In one virtual desktop with a notification
area the script starts bench/minimal_tray.exe (a hidden window and its notification icon, nothing
else) and the face in turns, `--rounds` times each after one start each that is not counted (the
first start of a program in a prefix pays for Wine's caches). A start is timed from the moment the
host starts the process (`wine PROGRAM`) to the moment its icon shows in the notification area, seen
in the display's pixels: nothing inside either program is asked. The face is ended through its Exit
each time, the minimal program ends by itself.

Then the minimal program and the face run once more and are left alone for `--idle` seconds, and the
service likewise: the host kernel's count of context switches of each of their threads tells which
threads woke up and how often. Wine's own threads are the same in all; Dockvane's timers and threads
show as the difference.
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
from wine_bench_support import (DESKTOP, Screen, Wine, e2e_support, idle_wakeups, read_text, start_desktop,  # noqa: E402
                                summary, wait_for, wine_processes)

FACE = "src/Dockvane.exe"
MINIMAL = "bench/minimal_tray.exe"
PROBE = "tests/e2e/e2e_process_probe.exe"
MINIMAL_STAYS_MS = 1500


def time_to_icon(wine, screen, program, *args):
    """Starts the program and returns (process, seconds to its icon or None, the notification area's
    picture before)."""
    baseline = screen.pixels()
    started = time.monotonic()
    process = subprocess.Popen(["wine", os.path.join(wine.build, program), *args], env=wine.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    icon = None
    while time.monotonic() - started < 60:
        if screen.pixels() != baseline:
            icon = time.monotonic() - started
            break
        if process.poll() is not None:
            break
        time.sleep(0.002)
    return process, icon, baseline


def end_face(wine, process):
    code, out, _ = wine.run(PROBE, "exit", os.path.basename(FACE), "20000", timeout=60)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        print(f"..    the face did not end by its Exit ({out.strip()}); killed", flush=True)


def wait_icon_gone(screen, baseline):
    wait_for(lambda: screen.pixels() == baseline, 10, step=0.05)


def start_service(wine, work):
    simulation = os.path.join(work, "simulation")
    os.makedirs(simulation, exist_ok=True)
    wine.env["DOCKVANE_SIMULATION"] = "Z:" + simulation.replace("/", "\\")
    wine.install_engine_service(wine.env["DOCKVANE_SIMULATION"])
    wine.sc("start", e2e_support.ENGINE_SERVICE)
    log = e2e_support.app_log_path(wine)
    if not wait_for(lambda: "Start" in read_text(log) and "Simulation mode" in read_text(log), 60):
        raise RuntimeError("the engine's service did not start")


def print_idle(name, pid, rows, idle, threads=""):
    print(f"  {name} (host process {pid}; Windows side: {threads or 'not read'})")
    for tid, thread, switches in rows:
        print(f"    thread {tid:>8} {thread:16} {switches:5} switches  ({switches / idle:.2f}/s)")


def run(wine, work, rounds, idle):
    start_service(wine, work)
    # The desktop stays open for the whole run: a minimal tray program keeps it (its icon is part of
    # every start's first picture).
    start_desktop(wine, MINIMAL)
    screen = Screen(wine.env["DISPLAY"])
    if not wait_for(lambda: screen.pixels() != b"" and wine.window_pid(f"{DESKTOP} - Wine desktop"), 60):
        raise RuntimeError("the virtual desktop did not open")
    time.sleep(2)

    icons = {MINIMAL: [], FACE: []}
    for round_ in range(rounds + 1):
        counted = round_ > 0
        for program in (MINIMAL, FACE):
            if program == MINIMAL:
                process, icon, baseline = time_to_icon(wine, screen, MINIMAL, str(MINIMAL_STAYS_MS))
                process.wait(timeout=60)
            else:
                process, icon, baseline = time_to_icon(wine, screen, FACE)
                time.sleep(2)  # let it connect before Exit
                end_face(wine, process)
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
    face = statistics.median(icons[FACE])
    print(f"  minimal_tray.exe   {summary(icons[MINIMAL])}")
    print(f"  the face           {summary(icons[FACE])}")
    print(f"  ratio of the medians  {face / minimal:.2f} (goal: at most 1.5)")

    print()
    print(f"Idle: context switches per thread over {idle} s, after the start-up, no drive plugged in")
    for program, args in ((MINIMAL, (str((idle + 20) * 1000),)), (FACE, ())):
        name = os.path.basename(program)
        process, _, _ = time_to_icon(wine, screen, program, *args)
        time.sleep(5)
        pids = wine_processes(wine, name)
        if not pids:
            print(f"  {name}: process not found")
            continue
        threads = ""
        if program == FACE:
            _, out, _ = wine.run(PROBE, "stats", name, timeout=60)
            threads = " ".join(item for item in out.split() if item.startswith("threads="))
        print_idle(name, pids[0], idle_wakeups(pids[0], idle), idle, threads)
        if program == FACE:
            end_face(wine, process)
    service = os.path.basename(e2e_support.SIM_SERVICE)
    pids = wine_processes(wine, service)
    if pids:
        _, out, _ = wine.run(PROBE, "stats", service, timeout=60)
        threads = " ".join(item for item in out.split() if item.startswith("threads="))
        print_idle(f"{service} (the engine's service)", pids[0], idle_wakeups(pids[0], idle), idle, threads)
    else:
        print(f"  {service}: process not found")
    wine.sc("stop", e2e_support.ENGINE_SERVICE)
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
