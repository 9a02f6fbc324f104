#!/usr/bin/env python3
"""The engine as the Windows service Dockvane under Wine, with no face running, checked from outside.

On a fresh prefix the test build of the service (DockvaneSimService.exe, simulation mode on the folder
its command line names) is registered as the installer will register the shipped one: `sc create
Dockvane` (LocalSystem, started at boot, "Dockvane drive sharing"), `sc failure` (restart after a
crash), `sc start`. Its first start finds two settings files of an earlier version, one in the
prefix's user's profile and a newer one in a second profile the system lists, and the master account
`dockvane` that the newer one's salt made. Then, with no Dockvane.exe anywhere:
0. the machine's settings are taken over from the newer file: its salt is kept, `dockvane` keeps its
   password, both people's files stay as they were;
1. a drive plugged in with dvsim is shared; "backup.done" written to it gets it unshared and ejected,
   and its done address hears `ejected`;
2. a face started in the run's desktop while a drive is shared: its menu lists that drive (its Eject
   item ejects it), and the next drive's arrival shows a balloon in it;
3. a second subscriber at the same time (a program of the test that holds the pipe as a face does:
   Wine runs every process in one session, where one face runs): both hear the arrival, one engine
   acts (one Attached line, one share);
4. the service stopped and started again while a drive is shared: the drive is still shared
   afterwards, with one share, one account and the same password;
5. the service's process killed: the recovery action brings it back (Wine's service manager does not
   run it: the script waits for it, says so, and starts the service itself, as the recovery action
   would), and the drive is taken up again and still leaves by its marker.
Checked through dvsim's listings, the files, the logs, the requests that reach the script's own
HTTP server and dockvane-cli, which asks the engine over its pipe (status, and an eject at the end).
At the end the face, still running, ejects a drive again: it connected again after both restarts.
Every process it started is ended.

    service_engine.py --build-dir BUILD/windows --artefacts DIR [--keep]
"""

import getpass
import json
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (CLI, DVTOOL, ENGINE_SERVICE, FACE, GENERIC_ALL, MASTER, PROCESS_PROBE, SIM_SERVICE,  # noqa: E402
                         BalloonCamera, engine_paths, log_records, main, read_bytes, read_text, wait_for, windows_pid)
from road_of_a_drive import PingServer  # noqa: E402

SHARE = "BACKUP"
ACCOUNT = "extdisk_backup"
DRIVE = "E"
UNIT_DEADLINE_S = 20
# How long a recovery action is given to bring the service back: its first restart waits 5 s.
RECOVERY_WAIT_S = 20
SERVICE_PROGRAM = os.path.basename(SIM_SERVICE)
FACE_PROGRAM = os.path.basename(FACE)
LISTENER = "tests/e2e/e2e_pipe_listener.exe"
SECOND = "F"
SECOND_SHARE = "BACKUP2"
# The settings files of two people, as an earlier version left them in their profiles: the second
# profile's is the newer one.
OLDER_SALT = "0123456789ABCDEF0123456789ABCDEF"
NEWER_SALT = "FEDCBA9876543210FEDCBA9876543210"
SECOND_PROFILE_SID = "S-1-5-21-1000-2000-3000-1002"
PROFILE_LIST = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList"


def engine(wine, work, artefacts, failures, killed):
    ping = PingServer()
    try:
        run_service(wine, work, artefacts, failures, ping, killed)
    finally:
        ping.stop()


def run_service(wine, work, artefacts, failures, ping, killed):
    simulation = os.path.join(work, "simulation")
    os.makedirs(simulation, exist_ok=True)
    # dvsim finds the folder in its environment; the service only on its command line.
    wine.env["DOCKVANE_SIMULATION"] = "Z:" + simulation.replace("/", "\\")
    paths = lambda: engine_paths(wine)
    app_log = lambda: read_text(paths()["app_log"])
    starts = lambda: len(starts_in(app_log_records(wine)))

    people = plant_earlier_settings(wine, failures)
    _, master_password, _ = wine.run(DVTOOL, "password", NEWER_SALT)
    master_password = master_password.strip()
    code, _, error = wine.dvsim("useradd", MASTER, master_password, "Velmora User")
    failures.check(code == 0, f"the earlier version's master account is there {error.strip()}")

    wine.install_engine_service(wine.env["DOCKVANE_SIMULATION"])
    code, out, error = wine.sc("start", ENGINE_SERVICE)
    failures.check(code == 0, f"sc start {ENGINE_SERVICE} succeeds {out.strip()[-80:]} {error.strip()}")
    failures.check(wait_for(lambda: wine.service_state(ENGINE_SERVICE) == "RUNNING", 30),
                   f"the service runs ({wine.service_state(ENGINE_SERVICE)})")
    failures.check(wait_for(lambda: starts() == 1 and "Simulation mode" in app_log(), 30),
                   "the application log has the service's Start line and its simulation mode")
    failures.check(not wine.host_pids("Dockvane.exe"), "no face and no tray program runs")
    print("..    0. the first start takes the settings over from the newer of two people's files", flush=True)
    salt = wait_for(lambda: settings_salt(paths()["settings"]), 30)
    failures.check(salt == NEWER_SALT, f"the machine's settings hold the newer file's salt ({salt!r})")
    taken_over = [text.strip() for title, text in app_log_records(wine) if title.strip() == "Settings"]
    failures.check(len(taken_over) == 1 and taken_over[0].startswith("taken over from ")
                   and taken_over[0].lower().endswith("\\second\\appdata\\local\\dockvane\\settings.ini"),
                   f"the application log names the file taken over ({taken_over})")
    _, password, _ = wine.dvsim("password", MASTER)
    failures.check(password.strip() == master_password and account_line(wine, MASTER),
                   f"the master account {MASTER} keeps the password it had ({password.strip()!r})")
    failures.check(all(read_bytes(path) == content for path, content in people),
                   "both people's settings files are left as they were")

    drive = os.path.join(work, "usb-drive")
    os.makedirs(drive)
    url = f"http://127.0.0.1:{ping.port}"
    with open(os.path.join(drive, "velmora.conf"), "wb") as f:
        f.write((f"[Share]\nShareName={SHARE}\nShareUserName={ACCOUNT}\nAutoRemove=true\n"
                 f"DonePingURL={url}/done?result={{result}}&drive={{drive}}\n").encode("ascii"))

    # --- 1. Plugged in: shared; the marker: unshared, ejected, told ---
    print("..    1. a drive comes and goes by its marker, no face running", flush=True)
    plug_and_check_shared(wine, failures, drive, salt, "plugged in")
    leaves_by_marker(wine, failures, drive, ping, "the first time")

    # --- 2. and 3. A face, and a second subscriber ---
    print("..    2. a face shows the engine's drives and balloons; 3. with a second subscriber", flush=True)
    plug_and_check_shared(wine, failures, drive, salt, "plugged in before the face")
    face_and_listener(wine, work, artefacts, failures)

    # --- 4. The service restarted while a drive is shared ---
    print("..    4. the service restarted while a drive is shared", flush=True)
    plug_and_check_shared(wine, failures, drive, salt, "plugged in again")
    before = state_of_drive(wine)
    code, _, _ = wine.sc("stop", ENGINE_SERVICE)
    stopped = wait_for(lambda: wine.service_state(ENGINE_SERVICE) == "STOPPED", 30)
    failures.check(code == 0 and stopped, f"sc stop stops the service ({wine.service_state(ENGINE_SERVICE)})")
    failures.check(state_of_drive(wine) == before, "the stopped service left the share and its account as they were")
    failures.check(settings_salt(paths()["settings"]) == salt, "the settings are whole, with the same salt")
    code, _, _ = wine.sc("start", ENGINE_SERVICE)
    failures.check(code == 0 and wait_for(lambda: starts() == 2, 30), "the service starts again")
    taken_up(wine, failures, before, "after the restart")

    # --- 5. The service's process killed ---
    print("..    5. the service's process killed", flush=True)
    pids = wine.host_pids(SERVICE_PROGRAM)
    failures.check(len(pids) == 1, f"one process runs the service ({pids})")
    if pids:
        killed_windows_pid = windows_pid(wine, SERVICE_PROGRAM)
        if killed_windows_pid:
            killed.add(killed_windows_pid)
        os.kill(pids[0], signal.SIGKILL)
        wait_for(lambda: pids[0] not in wine.host_pids(SERVICE_PROGRAM), 10)
        back = wait_for(lambda: starts() == 3, RECOVERY_WAIT_S)
        print(f"..    after the kill the service manager says {wine.service_state(ENGINE_SERVICE)}; "
              f"{'it started the service again' if back else f'nothing restarted it within {RECOVERY_WAIT_S} s'}",
              flush=True)
        if not back:
            # Wine 8's service manager neither runs the recovery actions nor notices the death (it still
            # says RUNNING), but it starts the service again on request: what the recovery action does.
            print("..    the test restarts the service itself, as its recovery action would", flush=True)
            wine.sc("start", ENGINE_SERVICE)
            back = wait_for(lambda: starts() == 3, 30)
        failures.check(back, "the service runs again after its process was killed")
        taken_up(wine, failures, before, "after the kill")
        leaves_by_marker(wine, failures, drive, ping, "after the kill")

    # --- An eject asked for over the pipe ---
    print("..    dockvane-cli ejects a drive", flush=True)
    plug_and_check_shared(wine, failures, drive, salt, "plugged in for the command line")
    code, out, _ = wine.run(CLI, "eject", "F:")
    failures.check(code == 4, f"dockvane-cli eject F: (no such drive) ends with 4 ({code}, {out.strip()})")
    code, out, _ = wine.run(CLI, "eject", f"{DRIVE}:")
    failures.check(code == 0, f"dockvane-cli eject {DRIVE}: ends with 0 ({code}, {out.strip()})")
    failures.check(wait_for(lambda: not wine.lines("shares") and not wine.lines("drives"), UNIT_DEADLINE_S),
                   "the drive ejected through the command line is unshared and gone")
    failures.check(drive_in_status(wine) is None, "the status no longer lists the ejected drive")

    print("..    the face, still running, ejects a drive after the restarts", flush=True)
    records_before = len(app_log_records(wine))
    plug_and_check_shared(wine, failures, drive, salt, "plugged in for the face")
    # A face that came back while the engine was starting still hears it: nothing goes unshown.
    unshown = [text.strip() for title, text in app_log_records(wine)[records_before:] if title.strip() == "Not shown"]
    failures.check(not unshown, f"after the restarts the face hears the engine's reports ({unshown})")
    face_ejects_first(wine, failures, "after the restarts")

    code, _, _ = wine.sc("stop", ENGINE_SERVICE)
    failures.check(wait_for(lambda: wine.service_state(ENGINE_SERVICE) == "STOPPED", 30), "the service stops at the end")
    code, _, _ = wine.run(CLI, "status")
    failures.check(code == 2, f"dockvane-cli status with the service stopped ends with 2 ({code})")
    code, out, _ = wine.run(PROCESS_PROBE, "exit", FACE_PROGRAM, "20000", timeout=60)
    failures.check(code == 0 and "exit_code=0" in out, f"the face's Exit ends it ({out.strip()})")


def face_and_listener(wine, work, artefacts, failures):
    """A face in the desktop and a second subscriber while E: is shared; F: arrives, the face's Eject
    takes E: away, F: is pulled out again."""
    wine.start_in_desktop(FACE)
    failures.check(wait_for(lambda: wine.host_pids(FACE_PROGRAM), 30), "the face runs")
    heard_path = os.path.join(work, "listener.txt")
    with open(heard_path, "wb") as heard_file:
        listener = subprocess.Popen(["wine", os.path.join(wine.build, LISTENER), "120"], env=wine.env,
                                    stdout=heard_file, stderr=subprocess.DEVNULL)
    try:
        heard = lambda: [json.loads(line) for line in read_text(heard_path).split("\n") if line.startswith("{")]
        status = wait_for(lambda: next((m for m in heard() if m.get("kind") == "status"), None), 30)
        letters = [d.get("letter") for d in (status or {}).get("drives", [])]
        failures.check(letters == [DRIVE], f"the second subscriber's status lists {DRIVE}: ({letters})")

        second = os.path.join(work, "usb-second")
        os.makedirs(second)
        with open(os.path.join(second, "velmora.conf"), "wb") as f:
            f.write(f"[Share]\nShareName={SECOND_SHARE}\n".encode("ascii"))
        records_before = len(app_log_records(wine))
        # The face connects on a worker of its own: the balloon is for the arrival after that.
        time.sleep(3)
        camera = BalloonCamera(wine, artefacts)
        try:
            code, _, error = wine.dvsim("plug", SECOND, second)
            failures.check(code == 0, f"dvsim plug {SECOND} succeeds {error.strip()}")
            shared = wait_for(lambda: [line for line in wine.lines("shares") if line.startswith(SECOND_SHARE + "\t")],
                              20)
            failures.check(len(shared or []) == 1, f"{SECOND}: is shared once as {SECOND_SHARE} ({shared})")
            failures.check(wait_for(lambda: camera.kept, 15),
                           "the face shows a balloon for the arrival (a picture of it is in the artefacts)")
        finally:
            camera.stop()
        attached = [text.strip() for title, text in app_log_records(wine)[records_before:] if title.strip() == "Attached"]
        failures.check(attached == [f"{SECOND}:\\"], f"one engine attached {SECOND}: once ({attached})")
        arrivals = lambda: [m for m in heard() if m.get("kind") == "drive-attached" and m.get("letter") == SECOND]
        failures.check(wait_for(lambda: len(arrivals()) == 1, 10),
                       f"the second subscriber hears {SECOND}: arrive, once ({arrivals()})")

        face_ejects_first(wine, failures, "with the second subscriber listening")
        removals = lambda: [m for m in heard() if m.get("kind") == "drive-removed" and m.get("letter") == DRIVE]
        failures.check(wait_for(lambda: removals(), 10), f"the second subscriber hears {DRIVE}: leave")
        code, _, error = wine.dvsim("unplug", SECOND)
        failures.check(code == 0 and wait_for(lambda: not wine.lines("drives"), 20),
                       f"{SECOND}: pulled out is gone {error.strip()}")
        failures.check(listener.poll() is None, "the second subscriber is still connected")
    finally:
        listener.kill()
        listener.wait(timeout=30)


def face_ejects_first(wine, failures, when):
    """The face's first Eject item, clicked: its menu lists E:, and it asks the engine."""
    code, _, error = wine.run(PROCESS_PROBE, "eject", FACE_PROGRAM, "0")
    failures.check(code == 0, f"{when}: the face's first Eject item is clicked {error.strip()}")
    gone = lambda: DRIVE not in [line.split("\t")[0] for line in wine.lines("drives")] and not any(
        line.startswith(SHARE + "\t") for line in wine.lines("shares"))
    failures.check(wait_for(gone, UNIT_DEADLINE_S), f"{when}: the face's Eject unshared and ejected {DRIVE}:")


def settings_file(salt):
    return f"[General]\r\n RegistrationCode={salt}\r\nAutoStart=True\r\n".encode("ascii")


def plant_earlier_settings(wine, failures):
    """An earlier version's settings file in the profile of the prefix's user and a newer one in a
    second profile that the system's profile list names; the files and their contents."""
    drive_c = os.path.join(wine.env["WINEPREFIX"], "drive_c")
    planted = []
    for profile, salt, age_days in ((getpass.getuser(), OLDER_SALT, 2), ("second", NEWER_SALT, 1)):
        folder = os.path.join(drive_c, "users", profile, "AppData", "Local", "dockvane")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "Settings.ini")
        with open(path, "wb") as f:
            f.write(settings_file(salt))
        written = time.time() - age_days * 86400
        os.utime(path, (written, written))
        planted.append((path, settings_file(salt)))
    code, _, error = wine.run(r"C:\windows\system32\reg.exe", "add", PROFILE_LIST + "\\" + SECOND_PROFILE_SID, "/v", "ProfileImagePath",
                              "/t", "REG_EXPAND_SZ", "/d", r"C:\users\second", "/f")
    failures.check(code == 0, f"the second profile is in the system's profile list {error.strip()}")
    return planted


def cli_status(wine):
    """The engine's status as dockvane-cli reads it over the pipe; None when it could not."""
    code, out, _ = wine.run(CLI, "status", "--json")
    if code != 0:
        return None
    try:
        return json.loads(out)
    except ValueError:
        return None


def drive_in_status(wine):
    status = cli_status(wine)
    drives = [d for d in (status or {}).get("drives", []) if d.get("letter") == DRIVE]
    return drives[0] if drives else None


def app_log_records(wine):
    """The application log's records as (title, description)."""
    return log_records(read_bytes(engine_paths(wine)["app_log"]))[0]


def starts_in(records):
    """Where each start of the engine begins in the records."""
    return [index for index, (title, _) in enumerate(records) if title.strip() == "Start"]


def settings_salt(path):
    """The salt (RegistrationCode) of the settings file; None without one."""
    for line in read_text(path).replace("\r\n", "\n").split("\n"):
        if line.strip().startswith("RegistrationCode="):
            return line.split("=", 1)[1].strip() or None
    return None


def account_line(wine, name):
    return next((line for line in wine.lines("accounts") if line.startswith(name + "\t")), None)


def state_of_drive(wine):
    """What outlives the engine for a shared drive: the shares, the drive's account with its password."""
    return wine.lines("shares"), account_line(wine, ACCOUNT)


def plug_and_check_shared(wine, failures, drive, salt, when):
    code, _, error = wine.dvsim("plug", DRIVE, drive)
    failures.check(code == 0, f"{when}: dvsim plug {DRIVE} succeeds {error.strip()}")
    shares = wait_for(lambda: wine.lines("shares"), 20)
    fields = shares[0].split("\t") if len(shares) == 1 else []
    failures.check(fields[:2] == [SHARE, "E:\\"] and f"dockvane:{GENERIC_ALL}" in fields[3].split(","),
                   f"{when}: the drive is shared as {SHARE} ({shares})")
    _, password, _ = wine.run("tools/dvtool/dvtool.exe", "password", (salt or "") + ACCOUNT)
    failures.check(account_line(wine, ACCOUNT) == f"{ACCOUNT}\t{password.strip()}\tVelmora User",
                   f"{when}: the drive's account {ACCOUNT} has its derived password")
    status = wait_for(lambda: drive_in_status(wine), 10)
    failures.check(status is not None and status.get("state") == "shared" and status.get("shareName") == SHARE,
                   f"{when}: dockvane-cli status lists {DRIVE}: shared as {SHARE} ({status})")


def leaves_by_marker(wine, failures, drive, ping, when):
    done_before = len([path for path in ping.received if path.startswith("/done")])
    marker = os.path.join(drive, "backup.done")
    with open(marker, "wb") as f:
        f.write(b"done\r\n")
    dropped = time.monotonic()
    gone = lambda: not wine.lines("shares") and not wine.lines("drives") and not os.path.exists(marker)
    left = wait_for(gone, UNIT_DEADLINE_S, step=0.5)
    print(f"..    {when}: marker to ejection in {time.monotonic() - dropped:.1f} s", flush=True)
    failures.check(left, f"{when}: the marker is deleted, the drive unshared and ejected within {UNIT_DEADLINE_S} s")
    failures.check(account_line(wine, ACCOUNT) is None and account_line(wine, MASTER),
                   f"{when}: the drive's account is gone, the master account stays")
    done = lambda: [path for path in ping.received if path.startswith("/done")][done_before:]
    failures.check(wait_for(lambda: done() == [f"/done?result=ejected&drive={DRIVE}"], 15),
                   f"{when}: the done address heard that the drive was ejected ({done()})")
    activity = read_text(os.path.join(drive, "velmora-activity.log"))
    failures.check("OK, Unbound " in activity and "OK, Stopped sharing " in activity,
                   f"{when}: the drive's activity log has the Unbound and Stopped sharing lines")


def taken_up(wine, failures, before, when):
    """The drive still plugged in is the engine's again: its start-up scan attached it, and the share,
    the account and the password are those from before."""
    def attached():
        records = app_log_records(wine)
        since = records[starts_in(records)[-1]:] if starts_in(records) else []
        return any(title.strip() == "Attached" and text.strip() == "E:\\" for title, text in since)

    failures.check(wait_for(attached, 30), f"{when}: the start-up took the plugged-in drive up (Attached E:\\)")
    failures.check(wine.service_state(ENGINE_SERVICE) == "RUNNING", f"{when}: the service runs")
    # The attach grants the drive's own account its rights once the account exists, as every attach
    # after the first does: the rights may name it now instead of the master account.
    shares, account = state_of_drive(wine)
    drive_accounts = [line for line in wine.lines("accounts") if line.startswith("extdisk_")]
    failures.check([line.split("\t")[:2] for line in shares] == [line.split("\t")[:2] for line in before[0]]
                   and drive_accounts == [account] and account == before[1],
                   f"{when}: one share, one account, the same password ({shares}, {drive_accounts} against {before})")

if __name__ == "__main__":
    killed_processes = set()
    code = main(__doc__, lambda wine, work, artefacts, failures: engine(wine, work, artefacts, failures,
                                                                       killed_processes),
                failure_files=("usb-drive/*",), killed=killed_processes)
    if code == 0:
        print("the engine as a service: every check passed")
    sys.exit(code)
