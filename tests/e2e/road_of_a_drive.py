#!/usr/bin/env python3
"""The road of one drive through a running Dockvane under Wine, checked from the outside only.

Dockvane runs as it is installed: the engine as the service Dockvane (its test build, simulation mode
on a Wine prefix of its own) and a face in a virtual desktop on the current X display (or on an Xvfb
display this script starts), where the balloons and message boxes show. The script plugs a drive in
with dvsim, watches the files, the registry, dvsim's listings and the requests that reach its own HTTP
server, drops the backup marker (the drive's done address then hears that it was ejected), ejects it
with the face's Eject once (ejected), with dockvane-cli once (ejected), once with the face's Eject
while a process holds it (dvsim block: the face's message, its balloon and both logs name the
process, the drive stays plugged in, the done address hears eject-refused and the blocker) and pulls
it out once while its removal waits (unshared). A second face is refused without writing anything,
a second `sc start` starts no second engine, and the service's program started by hand, outside the
service manager, does not act on a drive. The drive's file asks for encryption: its share carries
the flag. The search service (a stand-in registered as WSearch) runs when Dockvane starts: it must be
stopped once the drive is shared and running again once the drive has left. Last, the face exits
through its tray while the engine goes on sharing, `sc stop` leaves the share in place, and the
engine started again with the search service stopped leaves it stopped while the drive is shared and
once it has left. Screenshots of the balloons go to the artefacts folder. Every process it started
is ended.

    road_of_a_drive.py --build-dir BUILD/windows --artefacts DIR [--keep]
"""

import glob
import http.server
import os
import re
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (ENGINE_SERVICE, FACE, GENERIC_ALL, MESSAGE_BOXES, SERVICE_PROGRAM,  # noqa: E402
                         BalloonCamera, BoxWatcher, eject_through_cli, engine_answers, engine_pid, face_command,
                         face_pids, main, machine_folder, process_runs, read_text, snapshot, start_engine,
                         start_face, stop_engine, use_simulation, wait_for)

SHARE = "BACKUP"
ACCOUNT = "extdisk_backup"
SIGN_IN_LIST = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\SpecialAccounts\UserList"
DESCRIPTION = "Nightly backup"
DRIVE = "E"
# dvsim's fifth field for a share whose traffic is encrypted (SHI1005_FLAGS_ENCRYPT_DATA).
ENCRYPT_DATA = "0x8000"
UNIT_DEADLINE_S = 20
# The done address: every placeholder, to see each value as it arrives.
DONE_PATH = "/done?result={result}&share={share}&drive={drive}&host={host}&blocker={blocker}"
# The search service is stopped and started by workers that wait as the service asks them to (the
# stand-in takes one to two seconds); well within this, unless something is wrong.
SEARCH_DEADLINE_S = 20


class PingServer:
    """Answers every GET with DONE and remembers the paths, in the order they came."""

    def __init__(self):
        received = self.received = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                received.append(self.path)
                body = b"DONE"
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def road(wine, work, artefacts, failures):
    ping = PingServer()
    try:
        drive_road(wine, work, artefacts, failures, ping)
    finally:
        ping.stop()


def drive_road(wine, work, artefacts, failures, ping):
    prefix = wine.env["WINEPREFIX"]
    simulation = use_simulation(wine, work)
    app_log = lambda: read_text(machine_folder(prefix, "Velmora.log"))

    # --- Start-up ---
    failures.check(wine.search_service_state() == "RUNNING", "the search service runs before Dockvane starts")
    start_engine(wine)
    settings_file = wait_for(lambda: glob.glob(machine_folder(prefix, "Settings.ini")), 60)
    settings_file = settings_file[0] if settings_file else ""
    face = start_face(wine)
    settings = read_text(settings_file).replace("\r\n", "\n").split("\n")
    salts = [line.split("=", 1)[1] for line in settings if line.strip().startswith("RegistrationCode=")]
    salt = salts[0] if salts else ""
    failures.check(len(salt) == 32 and salt.isdigit(), f"the settings file holds a 32-digit salt ({salt!r})")
    failures.check(any(" Start" in line or "Start>" in line for line in app_log().splitlines()),
                   "the application log has the Start line")
    failures.check("Simulation mode" in app_log(), "the application log says that the simulation mode is on")
    failures.check(wine.reg_value(r"HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer",
                                  "NoDriveTypeAutoRun") == ("REG_DWORD", "0x91"),
                   "the AutoRun policy value is 145")
    _, master_password, _ = wine.run("tools/dvtool/dvtool.exe", "password", salt)
    _, accounts, _ = wine.run("tools/dvsim/dvsim.exe", "accounts")
    failures.check(f"dockvane\t{master_password.strip()}\tVelmora User" in accounts.splitlines(),
                   "the master account dockvane has the password made from the salt")
    failures.check(wine.reg_value(SIGN_IN_LIST, "dockvane") == ("REG_DWORD", "0x0"),
                   "the master account is kept off the sign-in screen")

    camera = BalloonCamera(wine, artefacts)
    try:
        plug_and_finish(wine, work, failures, ping, salt)
        time.sleep(3)  # the last balloon (the drive removed) comes after the ejection
    finally:
        camera.stop()
    print(f"..    {len(camera.kept)} balloon picture(s) kept", flush=True)
    refused_second_face(wine, failures, face, prefix, simulation, os.path.join(work, "usb-drive"))
    face = no_second_engine(wine, failures, face, prefix, simulation, os.path.join(work, "usb-drive"))
    ends_reported(wine, failures, ping, os.path.join(work, "usb-drive"))
    exit_rule_and_search_service(wine, failures, face, os.path.join(work, "usb-drive"))


def plug_and_finish(wine, work, failures, ping, salt):
    app_log = lambda: read_text(machine_folder(wine.env["WINEPREFIX"], "Velmora.log"))
    # --- Plug-in ---
    drive = os.path.join(work, "usb-drive")
    os.makedirs(drive)
    conf = os.path.join(drive, "velmora.conf")
    url = f"http://127.0.0.1:{ping.port}"
    with open(conf, "wb") as f:
        # Hand-written (lower-case Booleans, LF line ends): the attach writes it back in its own form.
        f.write((f"[Share]\nShareName={SHARE}\nDescription={DESCRIPTION}\nShareUserName={ACCOUNT}\n"
                 f"AutoRemove=true\nEncrypt=true\nPingURL={url}/started\nPingURL={url}/second\nDonePingURL={url}{DONE_PATH}\n")
                .encode("ascii"))
    code, _, error = wine.run("tools/dvsim/dvsim.exe", "plug", DRIVE, drive)
    failures.check(code == 0, f"dvsim plug {DRIVE} succeeds {error.strip()}")
    shared = wait_for(lambda: [l for l in wine.run("tools/dvsim/dvsim.exe", "shares")[1].splitlines() if l], 20)
    fields = shared[0].split("\t") if len(shared) == 1 else []
    failures.check(fields[:3] == [SHARE, "E:\\", DESCRIPTION], f"the share {SHARE} of E:\\ exists ({shared})")
    failures.check(len(fields) >= 4 and f"dockvane:{GENERIC_ALL}" in fields[3].split(","),
                   "the default account has full rights on the share")
    failures.check(fields[4:] == [ENCRYPT_DATA], f"the share's traffic is encrypted ({fields[4:]})")
    _, drive_password, _ = wine.run("tools/dvtool/dvtool.exe", "password", salt + ACCOUNT)
    _, accounts, _ = wine.run("tools/dvsim/dvsim.exe", "accounts")
    failures.check(f"{ACCOUNT}\t{drive_password.strip()}\tVelmora User" in accounts.splitlines(),
                   f"the per-drive account {ACCOUNT} has its derived password")
    failures.check(wine.reg_value(SIGN_IN_LIST, ACCOUNT) == ("REG_DWORD", "0x0"),
                   f"the per-drive account {ACCOUNT} is kept off the sign-in screen")
    rewritten = read_text(conf)
    failures.check(rewritten.startswith("#=== Generated by Dockvane") and "\r\nAutoRemove=True\r\n" in rewritten
                   and "\r\nAutoRemove=True\r\nEncrypt=True\r\n" in rewritten
                   and rewritten.index(f"PingURL={url}/started\r\n") < rewritten.index(f"PingURL={url}/second\r\n")
                   and rewritten.endswith(f"\r\nDonePingURL={url}{DONE_PATH}\r\n"),
                   "the configuration file is written back in its own form")
    failures.check(wait_for(lambda: ping.received == ["/started", "/second"], 15),
                   f"both addresses were called, in order ({ping.received})")
    activity = lambda: read_text(os.path.join(drive, "velmora-activity.log"))
    wait_for(lambda: activity().count("OK, server said: ") == 2, 10)
    failures.check("OK, Started sharing " in activity() and SHARE in activity(),
                   "the activity log has the Started sharing line")
    failures.check(f"OK, Ping Url " in activity() and f"({url}/second)" in activity()
                   and activity().count("DONE") == 2, "the activity log has both pings and the server's answers")
    failures.check(any("Attached " in l and "E:\\" in l for l in app_log().splitlines()),
                   "the application log has the Attached line")
    state = wait_for(lambda: wine.search_service_state() == "STOPPED", SEARCH_DEADLINE_S)
    failures.check(state, f"the search service is stopped while the drive is shared ({wine.search_service_state()})")

    # --- Backup done ---
    marker = os.path.join(drive, "backup.done")
    with open(marker, "wb") as f:
        f.write(b"done\r\n")
    dropped = time.monotonic()
    gone = wait_for(lambda: not os.path.exists(marker), UNIT_DEADLINE_S)

    def finished():
        _, shares, _ = wine.run("tools/dvsim/dvsim.exe", "shares")
        _, drives, _ = wine.run("tools/dvsim/dvsim.exe", "drives")
        return not shares.strip() and not drives.strip() and "OK, Stopped sharing " in activity()

    remaining = max(1.0, UNIT_DEADLINE_S - (time.monotonic() - dropped))
    done = wait_for(finished, remaining, step=0.5)
    took = time.monotonic() - dropped
    print(f"..    marker to ejection: {took:.1f} s", flush=True)
    failures.check(gone, "the marker was deleted")
    failures.check(done and took <= UNIT_DEADLINE_S, f"unshared and ejected within {UNIT_DEADLINE_S} s")
    _, shares, _ = wine.run("tools/dvsim/dvsim.exe", "shares")
    failures.check(not shares.strip(), "the share is gone")
    _, accounts, _ = wine.run("tools/dvsim/dvsim.exe", "accounts")
    failures.check(not any(l.startswith(ACCOUNT + "\t") for l in accounts.splitlines()), "the per-drive account is gone")
    failures.check(any(l.startswith("dockvane\t") for l in accounts.splitlines()), "the master account stays")
    failures.check(wine.reg_value(SIGN_IN_LIST, ACCOUNT) is None and
                   wine.reg_value(SIGN_IN_LIST, "dockvane") == ("REG_DWORD", "0x0"),
                   "the deleted account's sign-in entry went with it; the master account's stays")
    failures.check("OK, Unbound " in activity() and "OK, Stopped sharing " in activity(),
                   "the activity log has the Unbound and Stopped sharing lines")
    # Under Wine "if exist E:\" answers absent for a drive root even while the drive is there: a file on it tells.
    _, present, _ = wine.run("c:/windows/system32/cmd.exe", "/c",
                             "if exist E:\\velmora.conf (echo present) else (echo absent)")
    failures.check(present.strip() == "absent", "drive E: has been ejected")
    state = wait_for(lambda: wine.search_service_state() == "RUNNING", SEARCH_DEADLINE_S)
    failures.check(state, f"the search service runs again once the drive has left ({wine.search_service_state()})")
    done_reported(wine, failures, ping, "ejected", "after the backup")


def done_reported(wine, failures, ping, result, when, blocker=""):
    """The done address was called once more, with the result, the drive's values and the blocker,
    and the application log has the call and the answer."""
    calls = lambda: [path for path in ping.received if path.startswith("/done?")]
    before = done_reported.calls
    arrived = wait_for(lambda: len(calls()) > before, 15)
    done_reported.calls = len(calls())
    path = calls()[-1] if arrived else ""
    expected = re.compile(r"/done\?result=" + re.escape(result) + r"&share=BACKUP&drive=E&host=[A-Za-z0-9._~%-]+&blocker="
                          + re.escape(blocker))
    failures.check(arrived and len(calls()) == before + 1 and expected.fullmatch(path),
                   f"{when}, the done address was called once with result={result} ({calls()[before:]})")
    app_log = lambda: read_text(machine_folder(wine.env["WINEPREFIX"], "Velmora.log"))
    logged = wait_for(lambda: f"OK, Ping Url > (http://127.0.0.1:{ping.port}{path})" in app_log()
                      and app_log().count("OK, server said: > DONE") == done_reported.calls, 10)
    failures.check(arrived and logged, f"{when}, the application log has the call and the answer")


done_reported.calls = 0


def ends_reported(wine, failures, ping, drive):
    """The face's Eject and dockvane-cli's report ejected; a drive pulled out while its removal waits,
    unshared."""
    activity = lambda: read_text(os.path.join(drive, "velmora-activity.log"))
    eject_blocked(wine, failures, ping, drive)
    for road in ("eject", "cli", "pulled"):
        code, _, error = wine.dvsim("plug", DRIVE, drive)
        failures.check(code == 0 and wait_for(lambda: wine.lines("shares"), 20),
                       f"dvsim plug {DRIVE} shares the drive again {error.strip()}")
        # Each step waits for the search service's worker of the step before: a stop asked while a
        # start is still on its way (or the other way round) is another matter than this road.
        search_service_is(wine, failures, "STOPPED", f"while the drive is shared ({road})")
        gone = lambda: not wine.lines("shares") and not wine.lines("drives")
        if road == "eject":
            face_knows(wine, f"{SHARE} now available for network")
            code, _, error = face_command(wine, "eject", "0")
            failures.check(code == 0, f"the face's Eject was sent {error.strip()}")
            failures.check(wait_for(gone, UNIT_DEADLINE_S), "the face's Eject unshared and ejected the drive")
            done_reported(wine, failures, ping, "ejected", "after the face's Eject")
        elif road == "cli":
            code, said = eject_through_cli(wine, DRIVE)
            failures.check(code == 0 and wait_for(gone, UNIT_DEADLINE_S),
                           f"dockvane-cli eject {DRIVE}: unshared and ejected the drive ({code}, {said})")
            done_reported(wine, failures, ping, "ejected", "after dockvane-cli's eject")
        else:
            unbound = activity().count("OK, Unbound ")
            with open(os.path.join(drive, "backup.done"), "wb") as f:
                f.write(b"done\r\n")
            # The removal waits some six seconds (its balloons) before it ejects: the drive goes first.
            failures.check(wait_for(lambda: activity().count("OK, Unbound ") > unbound, UNIT_DEADLINE_S, step=0.1),
                           "backup.done was seen")
            code, _, error = wine.dvsim("unplug", DRIVE)
            failures.check(code == 0, f"dvsim unplug {DRIVE} while the removal waits {error.strip()}")
            failures.check(wait_for(lambda: not wine.lines("shares"), UNIT_DEADLINE_S), "the share is gone")
            done_reported(wine, failures, ping, "unshared", "after the drive was pulled out")
        search_service_is(wine, failures, "RUNNING", f"once the drive has left ({road})")


def search_service_is(wine, failures, state, when):
    failures.check(wait_for(lambda: wine.search_service_state() == state, SEARCH_DEADLINE_S),
                   f"the search service is {state} {when} ({wine.search_service_state()})")


BLOCKED_TEXT = "E: is in use by dllhost.exe (process 9176). Close it, then choose Eject again."


def balloon_texts(wine):
    """The texts of the balloons shown now (Wine's notification area shows them as tooltips)."""
    _, out, _ = wine.run(MESSAGE_BOXES, "balloons", timeout=30)
    unescape = lambda s: s.replace("\\r", "\r").replace("\\n", "\n").replace("\\t", "\t").replace("\\\\", "\\")
    return [unescape(line.rstrip("\r")) for line in out.split("\n") if line.strip()]


def face_knows(wine, balloon, seconds=UNIT_DEADLINE_S):
    """Waits until the face shows the balloon: then it has been told of the drive, and its Eject menu
    has the drive's item."""
    return wait_for(lambda: balloon in balloon_texts(wine), seconds, step=0.3)


def eject_blocked(wine, failures, ping, drive):
    """A process that holds the drive keeps the face's Eject from ejecting it (dvsim block stands in
    for it and for the system log that names it): the balloon and the message name the process,
    both logs have it, the drive stays plugged in and unshared, and the done address hears
    eject-refused with the process as the blocker. The block is used up by that eject."""
    activity = lambda: read_text(os.path.join(drive, "velmora-activity.log"))
    app_log = lambda: read_text(machine_folder(wine.env["WINEPREFIX"], "Velmora.log"))
    simulation = wine.env["DOCKVANE_SIMULATION"][2:].replace("\\", "/")
    code, _, error = wine.dvsim("plug", DRIVE, drive)
    failures.check(code == 0 and wait_for(lambda: wine.lines("shares"), 20),
                   f"dvsim plug {DRIVE} shares the drive again {error.strip()}")
    code, _, error = wine.dvsim("block", DRIVE, "dllhost.exe", "9176")
    failures.check(code == 0, f"dvsim block {DRIVE} dllhost.exe 9176 succeeds {error.strip()}")
    face_knows(wine, f"{SHARE} now available for network")
    boxes = BoxWatcher(wine)
    try:
        code, _, error = face_command(wine, "eject", "0")
        failures.check(code == 0, f"the face's Eject was sent {error.strip()}")
        shown = wait_for(lambda: BLOCKED_TEXT in balloon_texts(wine), UNIT_DEADLINE_S, step=0.3)
        failures.check(shown, f"the balloon names the process ({balloon_texts(wine)})")
        boxed = wait_for(lambda: boxes.count() > 0, UNIT_DEADLINE_S)
        said = [(title, text) for title, text, _ in boxes.since(0)]
        failures.check(boxed and said[:1] == [("Dockvane\u2122", BLOCKED_TEXT)],
                       f"the message names the process ({said})")
    finally:
        boxes.stop()
    failures.check(wait_for(lambda: BLOCKED_TEXT in app_log(), 10) and "Eject refused " in app_log(),
                   "the application log names the process")
    failures.check(BLOCKED_TEXT in activity() and "Eject refused " in activity(),
                   "the drive's activity log names the process")
    failures.check(not wine.lines("shares"), "the share is gone")
    failures.check([line.split("\t")[0] for line in wine.lines("drives")] == [DRIVE], "the drive stays plugged in")
    _, present, _ = wine.run("c:/windows/system32/cmd.exe", "/c",
                             "if exist E:\\velmora.conf (echo present) else (echo absent)")
    failures.check(present.strip() == "present", f"drive E: is still there ({present.strip()})")
    blocks = read_text(os.path.join(simulation, "eject-blocks.tsv"))
    failures.check(not any(line.startswith(DRIVE + "\t") for line in blocks.splitlines()), "the eject used the block up")
    done_reported(wine, failures, ping, "eject-refused", "after the refused Eject", blocker="dllhost.exe")
    code, _, error = wine.dvsim("unplug", DRIVE)
    failures.check(code == 0 and wait_for(lambda: not wine.lines("drives"), 10),
                   f"dvsim unplug {DRIVE} takes the refused drive out {error.strip()}")


def refused_second_face(wine, failures, face, prefix, simulation, drive):
    """A second face in the session ends at once, shows nothing and writes nothing; the first one
    runs on."""
    watched = [machine_folder(prefix), simulation, drive]
    before = snapshot(watched)
    shown_before = wine.visible_windows()
    code, _, _ = wine.run(FACE, timeout=60)
    failures.check(code == 0, f"a second face ends with exit code 0 ({code})")
    failures.check(wine.visible_windows() == shown_before, "a second face shows nothing")
    failures.check(snapshot(watched) == before, "a second face writes nothing")
    failures.check(process_runs(face) and face_pids(wine) == [face], "the first face runs on, alone")


def no_second_engine(wine, failures, face, prefix, simulation, drive):
    """The service manager runs one engine: a second sc start starts none. The service's program
    started by hand, outside the service manager, does not act on a drive plugged in while the service
    is stopped; the service started again takes the drive up. The face is closed meanwhile and
    started again once the engine answers (see start_face); returns the new face's process id."""
    pid = engine_pid(wine)
    code, out, _ = wine.sc("start", ENGINE_SERVICE)
    failures.check(code != 0 and wine.host_pids(SERVICE_PROGRAM) == [pid],
                   f"a second sc start starts no second engine ({code}, {out.strip()[-60:]})")
    code, out, error = face_command(wine, "exit", "20000")
    failures.check(code == 0 and "exit_code=0 " in out and not face_pids(wine),
                   f"the face exits through its tray ({out.strip()} {error.strip()})")
    failures.check(stop_engine(wine), f"sc stop stops the service ({wine.service_state(ENGINE_SERVICE)})")
    code, _, error = wine.dvsim("plug", DRIVE, drive)
    failures.check(code == 0, f"dvsim plug {DRIVE} with the service stopped {error.strip()}")
    watched = [simulation, drive]
    before = snapshot(watched)
    app_log_before = read_text(machine_folder(prefix, "Velmora.log"))
    program = "C:\\Program Files\\Dockvane\\" + SERVICE_PROGRAM
    code, out, error = wine.run(program, "--simulation", wine.env["DOCKVANE_SIMULATION"], timeout=60)
    logged = read_text(machine_folder(prefix, "Velmora.log"))[len(app_log_before):]
    print(f"..    {SERVICE_PROGRAM} started by hand ended with {code}; it logged {logged.strip()!r}", flush=True)
    failures.check(code != 0, f"the service's program started by hand ends with an error ({code})")
    failures.check(not wine.lines("shares") and snapshot(watched) == before,
                   f"the service's program started by hand does not act on the drive ({wine.lines('shares')})")
    failures.check("Start" not in [line.split(">")[1].strip() for line in logged.splitlines() if ">" in line],
                   "the service's program started by hand runs no engine (no Start line)")
    start_engine(wine)
    failures.check(wait_for(lambda: wine.lines("shares"), 20), "the service started again shares the drive")
    failures.check(wait_for(lambda: wine.search_service_state() == "STOPPED", SEARCH_DEADLINE_S),
                   f"the search service is stopped while the drive is shared ({wine.search_service_state()})")
    code, _, error = wine.dvsim("unplug", DRIVE)
    failures.check(code == 0 and wait_for(lambda: not wine.lines("shares") and not wine.lines("drives"), 20),
                   f"dvsim unplug {DRIVE}: the share is gone {error.strip()}")
    failures.check(wait_for(lambda: wine.search_service_state() == "RUNNING", SEARCH_DEADLINE_S),
                   f"the search service runs again once the drive has left ({wine.search_service_state()})")
    return start_face(wine)


def stays(predicate, seconds):
    """Whether the predicate holds all the time for that long (looked at a few times a second)."""
    return not wait_for(lambda: not predicate(), seconds)


def exit_rule_and_search_service(wine, failures, face, drive):
    """The face's Exit ends the face only: the engine goes on sharing. sc stop leaves the share, its
    account and the search service as they are. The engine started again with the search service
    stopped leaves it stopped while the drive is shared and once it has left."""
    code, _, error = wine.dvsim("plug", DRIVE, drive)
    failures.check(code == 0 and wait_for(lambda: wine.lines("shares"), 20),
                   f"dvsim plug {DRIVE} shares the drive again {error.strip()}")
    stopped = lambda: wine.search_service_state() == "STOPPED"
    failures.check(wait_for(stopped, SEARCH_DEADLINE_S),
                   f"the search service is stopped while the drive is shared ({wine.search_service_state()})")
    # A start may grant the drive's own account the share's rights: the share is told by its name and folder.
    sharing = lambda: ([line.split("\t")[:2] for line in wine.lines("shares")], wine.lines("accounts"))
    shared = sharing()
    code, out, error = face_command(wine, "exit", "20000")
    failures.check(code == 0 and "exit_code=0 " in out, f"the face exits through its tray ({out.strip()} {error.strip()})")
    failures.check(not process_runs(face) and not face_pids(wine), "no face runs after its Exit")
    failures.check(wine.service_state(ENGINE_SERVICE) == "RUNNING" and engine_answers(wine),
                   "the engine runs on after the face's Exit")
    failures.check(stays(lambda: sharing() == shared, 3),
                   "the engine goes on sharing the drive after the face's Exit")
    failures.check(stop_engine(wine), f"sc stop stops the service ({wine.service_state(ENGINE_SERVICE)})")
    failures.check(sharing() == shared,
                   "the stopped service left the share and the accounts in place")
    failures.check(stays(stopped, 3), f"the stopped service did not start the search service again "
                   f"({wine.search_service_state()})")
    # The search service stopped when the engine starts: the drive still plugged in is shared again.
    start_engine(wine)
    failures.check(wait_for(lambda: sharing() == shared, 20),
                   f"the started engine took the drive up with the same share and accounts ({wine.lines('shares')})")
    failures.check(stays(stopped, 5), f"the search service stays stopped while the drive is shared "
                   f"({wine.search_service_state()})")
    code, _, error = wine.dvsim("unplug", DRIVE)
    failures.check(code == 0, f"dvsim unplug {DRIVE} succeeds {error.strip()}")
    failures.check(wait_for(lambda: not wine.lines("shares"), 20), "the share is gone after the unplug")
    failures.check(stays(stopped, 5), f"the search service stays stopped once the drive has left "
                   f"({wine.search_service_state()})")


if __name__ == "__main__":
    code = main(__doc__, road, failure_files=("usb-drive/*",))
    if code == 0:
        print("the road of one drive: every check passed")
    sys.exit(code)
