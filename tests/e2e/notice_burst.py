#!/usr/bin/env python3
"""A burst of device notices must leave a running Dockvane responsive, checked from the outside only.

Dockvane runs as it is installed, on a Wine prefix of its own: the engine as the service Dockvane (its
test build, simulation mode) and a face in a virtual desktop. Two drives are shared, F:
(AutoRemove=True) and G:. Then e2e_process_probe sends 19 removal notices for the unrelated letter Y:
to the service's volume observer window within 0.3 s, from two threads, as the system sends its
device broadcasts: each notice restarts the directory watcher while an earlier restart may still wait
for its worker. Afterwards the engine must still act on everything:

1. "backup.done" on F: is acted on (unshared and ejected) within 30 s;
2. the face's Eject of G: is acted on within 20 s;
3. the face's Exit ends the face within 3 s, with exit code 0, and the engine still answers;
4. sc stop ends the service's process within 3 s, and the service manager reports it stopped.

Nothing is shown but what those steps show (no message box). Every process the script started is ended.

    notice_burst.py --build-dir BUILD/windows --artefacts DIR [--keep]
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (ENGINE_SERVICE, PROCESS_PROBE, SERVICE_PROGRAM, BoxWatcher, engine_answers,  # noqa: E402
                         engine_pid, face_command, face_pids, main, process_runs, start_engine, start_face,
                         use_simulation, wait_for)

SHARE_DEADLINE_S = 30
MARKER_LIMIT_S = 30
EJECT_LIMIT_S = 20
EXIT_LIMIT_MS = 3000
STOP_LIMIT_S = 3
# The face is told of a drive that left within moments; its Eject menu then has the other one first.
FACE_CATCHES_UP_S = 2
NOTICES = 19
SPREAD_MS = 300
UNRELATED = "Y"


def make_drive(work, letter, share, auto_remove):
    folder = os.path.join(work, "drives", letter)
    os.makedirs(folder)
    with open(os.path.join(folder, "velmora.conf"), "wb") as f:
        f.write((f"[Share]\r\nShareName={share}\r\nShareUserName=extdisk_{letter.lower()}\r\n"
                 f"AutoRemove={auto_remove}\r\n").encode("ascii"))
    return folder


def burst(wine, work, artefacts, failures):
    use_simulation(wine, work)
    start_engine(wine)
    start_face(wine)
    boxes = BoxWatcher(wine)
    try:
        run_burst(wine, work, failures)
        failures.check(not boxes.since(0), f"no message box ({[text for _, text, _ in boxes.since(0)]})")
    finally:
        boxes.stop()


def shared(wine):
    return {line.split("\t")[0].upper() for line in wine.lines("shares")}


def plugged(wine):
    return {line.split("\t")[0] for line in wine.lines("drives")}


def run_burst(wine, work, failures):
    drives = {"F": make_drive(work, "F", "BURSTF", "True"), "G": make_drive(work, "G", "BURSTG", "False")}
    for letter, folder in drives.items():
        code, _, error = wine.dvsim("plug", letter, folder)
        failures.check(code == 0, f"dvsim plug {letter} {error.strip()}")
    if not failures.check(wait_for(lambda: shared(wine) == {"BURSTF", "BURSTG"}, SHARE_DEADLINE_S),
                          f"both drives are shared ({shared(wine)})"):
        return

    code, out, error = wine.run(PROCESS_PROBE, "notices", SERVICE_PROGRAM, UNRELATED, str(NOTICES), str(SPREAD_MS),
                                timeout=120)
    failures.check(code == 0 and f"sent={NOTICES} " in out,
                   f"{NOTICES} removal notices of {UNRELATED}: reached the observer ({out.strip()} {error.strip()})")

    # 1. The backup of F: is done.
    began = time.monotonic()
    with open(os.path.join(drives["F"], "backup.done"), "wb") as f:
        f.write(b"done\r\n")
    acted = wait_for(lambda: "BURSTF" not in shared(wine) and "F" not in plugged(wine), MARKER_LIMIT_S, step=0.25)
    failures.check(acted, f"backup.done on F: was acted on within {MARKER_LIMIT_S} s "
                          f"({time.monotonic() - began:.1f} s; shares {shared(wine)}, drives {plugged(wine)})")

    # 2. The face's Eject of G:, the only drive left (slot 0).
    time.sleep(FACE_CATCHES_UP_S)
    began = time.monotonic()
    code, _, error = face_command(wine, "eject", "0")
    failures.check(code == 0, f"the face's Eject was sent {error.strip()}")
    acted = wait_for(lambda: not shared(wine) and "G" not in plugged(wine), EJECT_LIMIT_S, step=0.25)
    failures.check(acted, f"the face's Eject of G: was acted on within {EJECT_LIMIT_S} s "
                          f"({time.monotonic() - began:.1f} s; shares {shared(wine)}, drives {plugged(wine)})")

    # 3. The face's Exit.
    code, out, error = face_command(wine, "exit", str(EXIT_LIMIT_MS))
    fields = dict(item.split("=", 1) for item in out.split() if "=" in item)
    failures.check(code == 0 and fields.get("exit_code") == "0",
                   f"the face's Exit ended it within {EXIT_LIMIT_MS} ms ({out.strip()} {error.strip()})")
    failures.check(not face_pids(wine) and engine_answers(wine), "no face runs; the engine still answers")

    # 4. The service stopped.
    pid = engine_pid(wine)
    began = time.monotonic()
    wine.sc("stop", ENGINE_SERVICE)
    ended = wait_for(lambda: not process_runs(pid), STOP_LIMIT_S, step=0.05)
    took = time.monotonic() - began
    failures.check(pid is not None and ended, f"sc stop ended the service's process within {STOP_LIMIT_S} s "
                                              f"({took:.1f} s)")
    failures.check(wait_for(lambda: wine.service_state(ENGINE_SERVICE) == "STOPPED", 30),
                   f"the service manager reports the service stopped ({wine.service_state(ENGINE_SERVICE)})")


if __name__ == "__main__":
    sys.exit(main(__doc__, burst))
