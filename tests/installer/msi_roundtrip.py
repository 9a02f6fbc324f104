#!/usr/bin/env python3
"""Dockvane.msi under Wine: an upgrade from the release before the service, the service and the face
at work, an upgrade in place, and silent removal with and without its accounts, on a computer that a
person has used before.

On a fresh prefix (simulation mode, as the end-to-end runs): a person's account john with his own
password, his account extdisk_admin (not Dockvane's, whatever its name says), his share Users and his
Run values "Backup" (his own and the machine's) exist first. The package of the release before the
service (tests/installer/earlier_release.wxs, with the test tray as its Dockvane.exe) is installed
with `msiexec /i /qn`; its Dockvane.exe starts (beside the stand-in network-management library,
copied next to it for the run) and shows its tray icon; a drive plugged in gets its share and Dockvane
makes its accounts; the person's Run value "Dockvane" is that release's start at logon.

Dockvane.msi then upgrades it: one entry in Programs and Features; the service Dockvane registered to
start at boot as LocalSystem and running; the machine's Run value "Dockvane" naming the installed
face; the person's Run value "Dockvane" gone; the shares, the accounts and their passwords, and the
settings as they were. Under Wine the service has no file sharing of its own: it starts all the same,
and with the stand-in library beside it (the simulation's folder in the machine's environment) it
sees the accounts the earlier release made and keeps them. The installed face starts and shows its
tray icon, and the installed dockvane-cli answers `status`. A package of a higher version built from
the same source then upgrades in place (the service stopped and started again, nothing of Dockvane's
removed). `msiexec /x /qn` removes the program files, the shortcut, the entry, the service and the
machine's Run value and keeps the accounts, the share and the settings; installed again and removed
with a user interface, it asks about the accounts, and the answer Yes takes Dockvane's accounts and
its drive's share too; installed once more and removed with REMOVEACCOUNTS=1 REMOVESETTINGS=1 it takes
them and the settings file. The person's accounts (with their password), his share and his Run values
survive everything.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "bench"))
from e2e_support import (DESKTOP, NETAPI_STANDIN, PROCESS_PROBE, log_records, machine_folder, main,  # noqa: E402
                         read_text, wait_for)
from wine_bench_support import TRAY_AREA, Screen  # noqa: E402

MSI = "installer/Dockvane.msi"
MAKE_MSI = os.path.join(HERE, "..", "..", "installer", "make_msi.py")
EARLIER_RELEASE = os.path.join(HERE, "earlier_release.wxs")
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MACHINE_RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
SERVICE = "Dockvane"
SERVICE_KEY = r"HKLM\System\CurrentControlSet\Services\Dockvane"
FACE = r"C:\Program Files\Dockvane\Dockvane.exe"
CLI = r"C:\Program Files\Dockvane\dockvane-cli.exe"
OWN_FILES = ("Dockvane.exe", "DockvaneService.exe", "dockvane-cli.exe", "DockvaneCleanup.exe")
EARLIER_FILES = ("Dockvane.exe", "DockvaneCleanup.exe")


def run_value(wine, name, key=RUN_KEY):
    """The data of a value under a Run key (None without one); `reg query` prints it after its type,
    blanks and all."""
    return registry_value(wine, key, name)


def registry_value(wine, key, name):
    done = subprocess.run(["wine", "reg", "query", key, "/v", name], env=wine.env, capture_output=True,
                          timeout=60)
    for line in done.stdout.decode("utf-8", errors="replace").splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0] == name and parts[1].startswith("REG_"):
            return parts[2].strip()
    return None


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def msiexec(wine, *args):
    done = subprocess.run(["wine", "msiexec", *args], env=wine.env, capture_output=True, timeout=180)
    return done.returncode


def program_folder(wine):
    return os.path.join(wine.env["WINEPREFIX"], "drive_c", "Program Files", "Dockvane")


def installed_entries(wine):
    """{DisplayName, DisplayVersion, ...} of each Programs and Features entry named Dockvane."""
    done = subprocess.run(["wine", "reg", "query", UNINSTALL_KEY, "/s"], env=wine.env, capture_output=True,
                          timeout=60)
    entries, current = [], {}
    for line in done.stdout.decode("utf-8", errors="replace").splitlines():
        if line.startswith("HKEY_"):
            current = {}
            entries.append(current)
            continue
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            current[parts[0]] = parts[2].strip()
    return [entry for entry in entries if entry.get("DisplayName") == "Dockvane"]


def shortcut(wine):
    return glob.glob(os.path.join(wine.env["WINEPREFIX"], "drive_c", "**", "Start Menu", "Programs", "Dockvane.lnk"),
                     recursive=True)


def accounts(wine):
    return {line.split("\t")[0]: line for line in wine.lines("accounts")}


def shares(wine):
    return {line.split("\t")[0]: line for line in wine.lines("shares")}


def build_package(wine, output, version, wxs=None, face=os.path.join("src", "Dockvane.exe")):
    build = wine.build
    command = [sys.executable, MAKE_MSI, "--exe", os.path.join(build, face),
               "--service", os.path.join(build, "src", "DockvaneService.exe"),
               "--cli", os.path.join(build, "tools", "cli", "dockvane-cli.exe"),
               "--cleanup", os.path.join(build, "installer", "DockvaneCleanup.exe"),
               "--setup-dll", os.path.join(build, "installer", "DockvaneSetup.dll"),
               "--icon", os.path.join(build, "src", "resources", "generated", "app.ico"),
               "--output", output, "--version", version]
    if wxs:
        command += ["--wxs", wxs]
    subprocess.run(command, check=True, capture_output=True, timeout=120)
    return output


def build_newer_package(wine, work):
    """The same package with a higher version: what the next release would be."""
    return build_package(wine, os.path.join(work, "Dockvane-99.0.0.msi"), "99.0.0")


def build_earlier_package(wine, work):
    """The release before the service: its package, with the tray that holds the engine as its program."""
    return build_package(wine, os.path.join(work, "Dockvane-0.9.0.msi"), "0.9.0", wxs=EARLIER_RELEASE,
                         face=os.path.join("src", "DockvaneTray.exe"))


def service_registration(wine):
    """The service's values in the registry (Start, ObjectName, ImagePath, ...); empty without it."""
    done = subprocess.run(["wine", "reg", "query", SERVICE_KEY], env=wine.env, capture_output=True, timeout=60)
    values = {}
    for line in done.stdout.decode("utf-8", errors="replace").splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2].strip()
    return values


def check_service_runs(wine, failures, when):
    """The service Dockvane registered as the package registers it, and running. (Wine's sc has no
    `qc`: the registration is read from the service's registry key.)"""
    registration = wait_for(lambda: service_registration(wine), 30)
    failures.check(registration and registration.get("Start") == "0x2" and registration.get("ObjectName") == "LocalSystem"
                   and registration.get("DisplayName") == "Dockvane drive sharing",
                   f"{when}: the service Dockvane starts at boot as LocalSystem ({registration})")
    failures.check(wait_for(lambda: wine.service_state(SERVICE) == "RUNNING", 30),
                   f"{when}: the service runs ({wine.service_state(SERVICE)})")
    # The service puts its path in quotes once it runs: Wine's installer registers it without them.
    image = wait_for(lambda: (service_registration(wine).get("ImagePath") or "").startswith('"') and
                     service_registration(wine).get("ImagePath"), 30)
    failures.check(image == r'"C:\Program Files\Dockvane\DockvaneService.exe"',
                   f"{when}: the service's path is the installed DockvaneService.exe, in quotes ({image})")
    failures.check(run_value(wine, "Dockvane", MACHINE_RUN_KEY) == f'"{FACE}"',
                   f"{when}: the machine's Run value Dockvane starts the installed face "
                   f"({run_value(wine, 'Dockvane', MACHINE_RUN_KEY)})")


def check_service_removed(wine, failures, when):
    failures.check(not service_registration(wine) and wine.service_state(SERVICE) is None,
                   f"{when}: the service Dockvane is gone ({service_registration(wine)})")
    failures.check(wait_for(lambda: not wine.host_pids("DockvaneService.exe"), 30),
                   f"{when}: no DockvaneService.exe runs")
    failures.check(run_value(wine, "Dockvane", MACHINE_RUN_KEY) is None, f"{when}: the machine's Run value Dockvane is gone")


def app_log_records(wine):
    """(title, description) of each record of the application log."""
    path = machine_folder(wine.env["WINEPREFIX"], "Velmora.log")
    return log_records(open(path, "rb").read() if os.path.exists(path) else b"")[0]


def start_lines(wine):
    return sum(1 for title, _ in app_log_records(wine) if title.strip() == "Start")


def start_installed(wine, artefacts, failures, what, ready, shot):
    """Starts the installed Dockvane.exe in the desktop, waits for its tray icon and for ready()."""
    screen = Screen(wine.env["DISPLAY"])
    try:
        # The desktop with its taskbar first, so that the notification area can be seen to change.
        wine.desktops.append(subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP},1024x768", "notepad.exe"],
                                              env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: wine.window_pid(f"{DESKTOP} - Wine desktop"), 60)
        time.sleep(3)
        baseline = screen.pixels(TRAY_AREA)
        process = subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP},1024x768", FACE], env=wine.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wine.desktops.append(process)
        icon = wait_for(lambda: screen.pixels(TRAY_AREA) != baseline, 60, step=0.2)
        is_ready = wait_for(ready, 60, step=0.5)
        wine.screenshot(os.path.join(artefacts, shot))
        failures.check(bool(icon) and bool(is_ready), f"the installed Dockvane.exe ({what}) starts and shows its tray icon")
    finally:
        screen.close()


def exit_dockvane(wine, failures):
    code, out, _ = wine.run(PROCESS_PROBE, "exit", "Dockvane.exe", "20000", timeout=60)
    failures.check(code == 0 and "exit_code=0" in out, f"Dockvane ends through its tray's Exit ({out.strip()})")


def face_runs(wine):
    """Whether a Dockvane.exe runs, seen from the Windows side (the probe's pid)."""
    code, out, _ = wine.run(PROCESS_PROBE, "pid", "Dockvane.exe", timeout=60)
    return code == 0 and "pid=" in out


def end_face(wine, failures):
    """The face ends as a sign-out ends it: its process goes."""
    subprocess.run(["wine", "taskkill", "/f", "/im", "Dockvane.exe"], env=wine.env, capture_output=True, timeout=60)
    failures.check(wait_for(lambda: not face_runs(wine), 30), "the face has ended")


def give_services_the_simulation(wine, folder):
    """Wine starts a service with an environment its service manager makes once, at the first service
    it starts, from the machine's system variables (and Wine's own): the simulation's folder goes
    there, for the stand-in network-management library that lies beside the installed service, and
    the server starts again so that the manager makes it anew. The service itself never reads it."""
    subprocess.run(["wine", "reg", "add", r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment",
                    "/v", "DOCKVANE_SIMULATION", "/d", folder, "/f"], env=wine.env, capture_output=True, timeout=60,
                   check=True)
    for step in (["wineserver", "-k"], ["wineserver", "-w"]):
        subprocess.run(step, env=wine.env, stderr=subprocess.DEVNULL, timeout=60)
    subprocess.run(["wineserver", "-p"], env=wine.env, check=True)
    subprocess.run(["wineboot"], env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120,
                   check=True)


def settings_files(wine):
    return glob.glob(machine_folder(wine.env["WINEPREFIX"], "Settings.ini"))


def settings_salt(wine):
    """PasswordSalt of the settings file; None without one."""
    match = re.search(r"^PasswordSalt=(.*?)\r?$", read_text(machine_folder(wine.env["WINEPREFIX"], "Settings.ini")),
                      re.MULTILINE)
    return match.group(1) if match else None


def roundtrip(wine, work, artefacts, failures):
    simulation = os.path.join(work, "simulation")
    os.makedirs(simulation)
    wine.env["DOCKVANE_SIMULATION"] = windows_path(simulation)
    give_services_the_simulation(wine, wine.env["DOCKVANE_SIMULATION"])
    package = os.path.join(wine.build, MSI)
    newer = build_newer_package(wine, work)
    earlier = build_earlier_package(wine, work)
    folder = program_folder(wine)

    # --- What a person made before Dockvane came ---
    people = os.path.join(work, "people")
    os.makedirs(people)
    wine.dvsim("useradd", "john", "his own pw", "John Smith")
    wine.dvsim("useradd", "extdisk_admin", "admin pw", "Made by the administrator")
    wine.dvsim("shareadd", "Users", people)
    for key in (RUN_KEY, MACHINE_RUN_KEY):
        subprocess.run(["wine", "reg", "add", key, "/v", "Backup", "/d", r'"C:\Tools\backup.exe"', "/f"],
                       env=wine.env, capture_output=True, timeout=60, check=True)
    john_password = wine.dvsim("password", "john")[1].strip()

    def person_survives(when):
        found = accounts(wine)
        failures.check("john" in found and wine.dvsim("password", "john")[1].strip() == john_password,
                       f"{when}: john keeps his account and his password")
        failures.check("extdisk_admin" in found, f"{when}: the administrator's extdisk_admin stays")
        failures.check("Users" in shares(wine), f"{when}: the share Users stays")
        failures.check(run_value(wine, "Backup") == r'"C:\Tools\backup.exe"'
                       and run_value(wine, "Backup", MACHINE_RUN_KEY) == r'"C:\Tools\backup.exe"',
                       f"{when}: his Run values Backup stay")

    # --- The release before the service, at work ---
    failures.check(msiexec(wine, "/i", windows_path(earlier), "/qn") == 0, "the earlier release installs silently")
    failures.check(all(os.path.isfile(os.path.join(folder, name)) for name in EARLIER_FILES),
                   "the earlier release's Dockvane.exe and DockvaneCleanup.exe are in Program Files\\Dockvane")
    shutil.copy(os.path.join(wine.build, NETAPI_STANDIN), folder)  # the simulation's, not the package's
    log = machine_folder(wine.env["WINEPREFIX"], "Velmora.log")
    start_installed(wine, artefacts, failures, "the earlier release's tray",
                    lambda: wine.window_pid("Dockvane volume observer") and "Start" in read_text(log),
                    "earlier-release.png")
    drive = os.path.join(work, "drive-e")
    os.makedirs(drive)
    with open(os.path.join(drive, "velmora.conf"), "w", newline="\r\n") as f:
        f.write("[Share]\nShareName=Backup\nShareUserName=extdisk_backup\nDescription=Nightly backup\n")
    wine.dvsim("plug", "E", drive)
    failures.check(wait_for(lambda: "Backup" in shares(wine) and {"dockvane", "extdisk_backup"} <= set(accounts(wine)),
                            30), "the plugged-in drive is shared and Dockvane made its accounts")
    exit_dockvane(wine, failures)
    # What that release wrote for its start at logon where the scheduled task could not be made.
    subprocess.run(["wine", "reg", "add", RUN_KEY, "/v", "Dockvane", "/d", f'"{FACE}"', "/f"], env=wine.env,
                   capture_output=True, timeout=60, check=True)
    passwords = {name: wine.dvsim("password", name)[1].strip() for name in ("dockvane", "extdisk_backup")}
    salt = settings_salt(wine)

    # --- Upgraded to the service and the face ---
    starts_before = start_lines(wine)
    failures.check(msiexec(wine, "/i", windows_path(package), "/qn") == 0, "Dockvane.msi upgrades the earlier release")
    entries = installed_entries(wine)
    failures.check(len(entries) == 1 and entries[0].get("DisplayVersion") == "1.0.0"
                   and entries[0].get("URLInfoAbout") == "https://www.dockvane.com",
                   f"Programs and Features lists only Dockvane 1.0.0 with its home page ({entries})")
    failures.check(all(os.path.isfile(os.path.join(folder, name)) for name in OWN_FILES),
                   f"{', '.join(OWN_FILES)} are in Program Files\\Dockvane")
    with open(os.path.join(folder, "Dockvane.exe"), "rb") as installed, \
            open(os.path.join(wine.build, "src", "Dockvane.exe"), "rb") as face:
        failures.check(installed.read() == face.read(), "the installed Dockvane.exe is the face")
    failures.check(bool(shortcut(wine)), "the Start menu has the shortcut Dockvane")
    check_service_runs(wine, failures, "after the upgrade from the earlier release")
    failures.check(run_value(wine, "Dockvane") is None, "the person's Run value Dockvane of the earlier release is gone")
    failures.check(wait_for(lambda: start_lines(wine) > starts_before, 30),
                   "the service wrote its Start line to the application log")
    shutil.copy(log, os.path.join(artefacts, "Velmora-after-upgrade.log"))
    # What the service logged since its start: no error (its registration set, the master account seen).
    records = app_log_records(wine)
    starts = [index for index, (title, _) in enumerate(records) if title.strip() == "Start"]
    since = records[starts[-1]:] if starts else []
    errors = [record for record in since if record[0].strip().upper() == "ERROR" or "recovery" in record[1]
              or "quotes" in record[1]]
    failures.check(bool(since) and not errors, f"the service logs no error at its start ({errors})")
    failures.check("Backup" in shares(wine) and {"dockvane", "extdisk_backup"} <= set(accounts(wine)),
                   "the shares and accounts of the earlier release stay")
    failures.check({name: wine.dvsim("password", name)[1].strip() for name in passwords} == passwords
                   and settings_salt(wine) == salt,
                   "the service takes them over without a new password (the same passwords, the same salt)")
    person_survives("after the upgrade from the earlier release")

    # --- The face and dockvane-cli ---
    start_installed(wine, artefacts, failures, "the face", lambda: face_runs(wine), "installed-face.png")
    code, out, error = wine.run(CLI, "status", timeout=60)
    failures.check(code == 0 and "Accounts:" in out, f"dockvane-cli status answers ({code}: {out.strip()} {error.strip()})")
    end_face(wine, failures)

    # --- A repair: the install's own take-over of the earlier start at logon ---
    # Wine's installer sets no UPGRADINGPRODUCTCODE, so during the upgrade the earlier package's removal
    # helper ran as well and took the person's Run value with the rest; Windows runs it not. What the
    # install itself takes away is seen alone in a repair, which runs the install's steps again.
    subprocess.run(["wine", "reg", "add", RUN_KEY, "/v", "Dockvane", "/d", f'"{FACE}"', "/f"], env=wine.env,
                   capture_output=True, timeout=60, check=True)
    failures.check(msiexec(wine, "/i", windows_path(package), "REINSTALL=ALL", "REINSTALLMODE=vamus", "/qn") == 0,
                   "Dockvane.msi repairs its installation silently")
    failures.check(run_value(wine, "Dockvane") is None,
                   "the install takes away the person's Run value Dockvane that would start the face a second time")
    check_service_runs(wine, failures, "after the repair")

    # --- Upgrade in place ---
    failures.check(msiexec(wine, "/i", windows_path(newer), "/qn") == 0, "the newer package installs silently")
    entries = installed_entries(wine)
    failures.check(len(entries) == 1 and entries[0].get("DisplayVersion") == "99.0.0",
                   f"after the upgrade Programs and Features lists only Dockvane 99.0.0 ({entries})")
    failures.check(all(os.path.isfile(os.path.join(folder, name)) for name in OWN_FILES),
                   "the upgrade leaves the program in place")
    check_service_runs(wine, failures, "after the upgrade in place")
    failures.check("Backup" in shares(wine) and {"dockvane", "extdisk_backup"} <= set(accounts(wine))
                   and {name: wine.dvsim("password", name)[1].strip() for name in passwords} == passwords,
                   "the upgrade keeps Dockvane's accounts, their passwords and the share")
    person_survives("after the upgrade")

    # --- Silent removal, accounts kept ---
    failures.check(msiexec(wine, "/x", windows_path(newer), "/qn") == 0, "msiexec /x /qn succeeds")
    left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    failures.check(not any(name in left for name in OWN_FILES), f"no file of Dockvane's stays in Program Files ({left})")
    failures.check(not shortcut(wine) and not installed_entries(wine), "the shortcut and the entry are gone")
    check_service_removed(wine, failures, "after the removal")
    failures.check("Backup" in shares(wine) and {"dockvane", "extdisk_backup"} <= set(accounts(wine)),
                   "without REMOVEACCOUNTS Dockvane's accounts and share stay")
    failures.check(bool(settings_files(wine)), "the settings file stays")
    person_survives("after the removal")

    # --- Installed again, removed with a user interface: the question, answered Yes ---
    failures.check(msiexec(wine, "/i", windows_path(package), "/qn") == 0, "Dockvane.msi installs again")
    check_service_runs(wine, failures, "installed again")
    if not os.path.exists(os.path.join(folder, "netapi32.dll")):
        shutil.copy(os.path.join(wine.build, NETAPI_STANDIN), folder)
    uninstall = subprocess.Popen(["wine", "msiexec", "/x", windows_path(package)], env=wine.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        question = wait_for(lambda: [text for title, text in wine.message_box_texts() if title == "Windows Installer"],
                            60, step=0.5)
        failures.check(bool(question) and "Also remove the share accounts that Dockvane made" in question[0],
                       f"an uninstall with a user interface asks about the accounts ({question})")
        window = wait_for(lambda: wine.xdotool("search", "--onlyvisible", "--name", "^Windows Installer$").split(), 10)
        if window:
            wine.xdotool("windowfocus", window[0])
            wine.xdotool("key", "y")
        code = uninstall.wait(timeout=120)
    finally:
        if uninstall.poll() is None:
            uninstall.kill()
            uninstall.wait()
    failures.check(code == 0, "the uninstall answered Yes succeeds")
    check_service_removed(wine, failures, "after the removal answered Yes")
    left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    failures.check(not any(name in left for name in OWN_FILES), f"no file of Dockvane's stays in Program Files ({left})")
    found = accounts(wine)
    failures.check("dockvane" not in found and "extdisk_backup" not in found,
                   f"after Yes Dockvane's own accounts are gone ({sorted(found)})")
    failures.check("Backup" not in shares(wine), "after Yes the share of Dockvane's drive is gone")
    failures.check(bool(settings_files(wine)), "without REMOVESETTINGS the settings file stays")
    person_survives("after the removal answered Yes")

    # --- Installed again, removed silently with its accounts and settings ---
    # Dockvane's accounts and its drive's share as Dockvane makes them (its comment, the drive's root).
    wine.dvsim("useradd", "dockvane", "master pw", "Velmora User")
    wine.dvsim("useradd", "extdisk_backup", "drive pw", "Velmora User")
    wine.dvsim("shareadd", "Backup", "E:\\")
    failures.check(msiexec(wine, "/i", windows_path(package), "/qn") == 0, "Dockvane.msi installs once more")
    if not os.path.exists(os.path.join(folder, "netapi32.dll")):
        shutil.copy(os.path.join(wine.build, NETAPI_STANDIN), folder)
    failures.check(msiexec(wine, "/x", windows_path(package), "/qn", "REMOVEACCOUNTS=1", "REMOVESETTINGS=1") == 0,
                   "msiexec /x /qn REMOVEACCOUNTS=1 REMOVESETTINGS=1 succeeds")
    left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    failures.check(not any(name in left for name in OWN_FILES), f"no file of Dockvane's stays in Program Files ({left})")
    found = accounts(wine)
    failures.check("dockvane" not in found and "extdisk_backup" not in found,
                   f"Dockvane's own accounts are gone ({sorted(found)})")
    failures.check("Backup" not in shares(wine), "the share of Dockvane's drive is gone")
    failures.check(not settings_files(wine), "the settings file is gone")
    person_survives("after the removal with REMOVEACCOUNTS=1")
    reports = glob.glob(os.path.join(wine.env["WINEPREFIX"], "drive_c", "**", "DockvaneCleanup.log"), recursive=True)
    for report in reports:
        shutil.copy(report, artefacts)
    wine.dvsim("unplug", "E")


if __name__ == "__main__":
    sys.exit(main(__doc__, roundtrip))
