#!/usr/bin/env python3
"""Dockvane.msi under Wine: silent install, the installed program's start, an upgrade in place, and
silent removal with and without its accounts, on a computer that a person has used before.

On a fresh prefix (simulation mode, as the end-to-end runs): a person's account john with his own
password, his account extdisk_admin (not Dockvane's, whatever its name says), his share Users and his
Run value "Backup" exist first. `msiexec /i /qn` installs the package; the installed Dockvane.exe
starts (beside the stand-in network-management library, copied next to it for the run) and shows its
tray icon; a drive plugged in gets its share and Dockvane makes its accounts; a Run value "Dockvane"
stands for the autostart of older systems. A package of a higher version built from the same source
then upgrades in place (one entry in Programs and Features, nothing of Dockvane's removed). `msiexec
/x /qn` removes the program files, the shortcut, the entry and the Run value and keeps the accounts,
the share and the settings; installed again and removed with a user interface, it asks about the
accounts, and the answer Yes takes Dockvane's accounts and its drive's share too; installed once more
and removed with REMOVEACCOUNTS=1 REMOVESETTINGS=1 it takes them and the settings file. The person's account (with its
password), his share and his Run value survive everything.
"""
import glob
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "bench"))
from e2e_support import (DESKTOP, NETAPI_STANDIN, PROCESS_PROBE, machine_folder, main, read_text,  # noqa: E402
                         wait_for)
from wine_bench_support import TRAY_AREA, Screen  # noqa: E402

MSI = "installer/Dockvane.msi"
MAKE_MSI = os.path.join(HERE, "..", "..", "installer", "make_msi.py")
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
OWN_FILES = ("Dockvane.exe", "DockvaneCleanup.exe")


def run_value(wine, name):
    """The data of a value under the Run key (None without one); `reg query` prints it after its type,
    blanks and all."""
    done = subprocess.run(["wine", "reg", "query", RUN_KEY, "/v", name], env=wine.env, capture_output=True,
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


def build_newer_package(wine, work):
    """The same package with a higher version: what the next release would be."""
    build = wine.build
    newer = os.path.join(work, "Dockvane-99.0.0.msi")
    subprocess.run([sys.executable, MAKE_MSI, "--exe", os.path.join(build, "src", "Dockvane.exe"),
                    "--cleanup", os.path.join(build, "installer", "DockvaneCleanup.exe"),
                    "--setup-dll", os.path.join(build, "installer", "DockvaneSetup.dll"),
                    "--icon", os.path.join(build, "src", "resources", "generated", "app.ico"),
                    "--output", newer, "--version", "99.0.0"], check=True, capture_output=True, timeout=120)
    return newer


def start_installed(wine, artefacts, failures):
    """Starts the installed Dockvane.exe in the desktop and waits for its tray icon; its process."""
    screen = Screen(wine.env["DISPLAY"])
    try:
        # The desktop with its taskbar first, so that the notification area can be seen to change.
        wine.desktops.append(subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP},1024x768", "notepad.exe"],
                                              env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for(lambda: wine.window_pid(f"{DESKTOP} - Wine desktop"), 60)
        time.sleep(3)
        baseline = screen.pixels(TRAY_AREA)
        program = "C:\\Program Files\\Dockvane\\Dockvane.exe"
        process = subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP},1024x768", program], env=wine.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wine.desktops.append(process)
        icon = wait_for(lambda: screen.pixels(TRAY_AREA) != baseline, 60, step=0.2)
        observer = wait_for(lambda: wine.window_pid("Dockvane volume observer"), 60, step=0.5)
        log = machine_folder(wine.env["WINEPREFIX"], "Velmora.log")
        started = wait_for(lambda: "Start" in read_text(log), 30)
        wine.screenshot(os.path.join(artefacts, "installed-dockvane.png"))
        failures.check(bool(icon) and bool(observer) and bool(started),
                       "the installed Dockvane.exe starts and shows its tray icon")
    finally:
        screen.close()


def exit_dockvane(wine, failures):
    code, out, _ = wine.run(PROCESS_PROBE, "exit", "Dockvane.exe", "20000", timeout=60)
    failures.check(code == 0 and "exit_code=0" in out, f"Dockvane ends through its tray's Exit ({out.strip()})")


def settings_files(wine):
    return glob.glob(machine_folder(wine.env["WINEPREFIX"], "Settings.ini"))


def roundtrip(wine, work, artefacts, failures):
    simulation = os.path.join(work, "simulation")
    os.makedirs(simulation)
    wine.env["DOCKVANE_SIMULATION"] = windows_path(simulation)
    package = os.path.join(wine.build, MSI)
    newer = build_newer_package(wine, work)

    # --- What a person made before Dockvane came ---
    people = os.path.join(work, "people")
    os.makedirs(people)
    wine.dvsim("useradd", "john", "his own pw", "John Smith")
    wine.dvsim("useradd", "extdisk_admin", "admin pw", "Made by the administrator")
    wine.dvsim("shareadd", "Users", people)
    subprocess.run(["wine", "reg", "add", RUN_KEY, "/v", "Backup", "/d", r'"C:\Tools\backup.exe"', "/f"],
                   env=wine.env, capture_output=True, timeout=60, check=True)
    john_password = wine.dvsim("password", "john")[1].strip()

    def person_survives(when):
        found = accounts(wine)
        failures.check("john" in found and wine.dvsim("password", "john")[1].strip() == john_password,
                       f"{when}: john keeps his account and his password")
        failures.check("extdisk_admin" in found, f"{when}: the administrator's extdisk_admin stays")
        failures.check("Users" in shares(wine), f"{when}: the share Users stays")
        failures.check(run_value(wine, "Backup") == r'"C:\Tools\backup.exe"', f"{when}: the Run value Backup stays")

    # --- Silent install ---
    failures.check(msiexec(wine, "/i", windows_path(package), "/qn") == 0, "msiexec /i Dockvane.msi /qn succeeds")
    folder = program_folder(wine)
    failures.check(all(os.path.isfile(os.path.join(folder, name)) for name in OWN_FILES),
                   "Dockvane.exe and DockvaneCleanup.exe are in Program Files\\Dockvane")
    failures.check(bool(shortcut(wine)), "the Start menu has the shortcut Dockvane")
    entries = installed_entries(wine)
    failures.check(len(entries) == 1 and entries[0].get("DisplayVersion") == "1.0.0"
                   and entries[0].get("URLInfoAbout") == "https://www.dockvane.com",
                   f"Programs and Features lists Dockvane 1.0.0 with its home page ({entries})")

    # --- The installed program at work ---
    shutil.copy(os.path.join(wine.build, NETAPI_STANDIN), folder)  # the simulation's, not the package's
    start_installed(wine, artefacts, failures)
    drive = os.path.join(work, "drive-e")
    os.makedirs(drive)
    with open(os.path.join(drive, "velmora.conf"), "w", newline="\r\n") as f:
        f.write("[Share]\nShareName=Backup\nShareUserName=extdisk_backup\nDescription=Nightly backup\n")
    wine.dvsim("plug", "E", drive)
    failures.check(wait_for(lambda: "Backup" in shares(wine) and {"dockvane", "extdisk_backup"} <= set(accounts(wine)),
                            30), "the plugged-in drive is shared and Dockvane made its accounts")
    exit_dockvane(wine, failures)
    # The value Dockvane writes for the autostart on systems before the scheduled task.
    subprocess.run(["wine", "reg", "add", RUN_KEY, "/v", "Dockvane", "/d", r'"C:\Program Files\Dockvane\Dockvane.exe"',
                    "/f"], env=wine.env, capture_output=True, timeout=60, check=True)

    # --- Upgrade in place ---
    failures.check(msiexec(wine, "/i", windows_path(newer), "/qn") == 0, "the newer package installs silently")
    entries = installed_entries(wine)
    failures.check(len(entries) == 1 and entries[0].get("DisplayVersion") == "99.0.0",
                   f"after the upgrade Programs and Features lists only Dockvane 99.0.0 ({entries})")
    failures.check(all(os.path.isfile(os.path.join(folder, name)) for name in OWN_FILES),
                   "the upgrade leaves the program in place")
    failures.check(run_value(wine, "Dockvane") is not None and "Backup" in shares(wine)
                   and {"dockvane", "extdisk_backup"} <= set(accounts(wine)),
                   "the upgrade keeps Dockvane's autostart, accounts and share")
    person_survives("after the upgrade")

    # --- Silent removal, accounts kept ---
    failures.check(msiexec(wine, "/x", windows_path(newer), "/qn") == 0, "msiexec /x /qn succeeds")
    left = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    failures.check(not any(name in left for name in OWN_FILES), f"no file of Dockvane's stays in Program Files ({left})")
    failures.check(not shortcut(wine) and not installed_entries(wine), "the shortcut and the entry are gone")
    failures.check(run_value(wine, "Dockvane") is None, "the Run value Dockvane is gone")
    # Wine cannot make the scheduled task (schtasks /create fails), so only the Run value is seen going.
    failures.check("Backup" in shares(wine) and {"dockvane", "extdisk_backup"} <= set(accounts(wine)),
                   "without REMOVEACCOUNTS Dockvane's accounts and share stay")
    failures.check(bool(settings_files(wine)), "the settings file stays")
    person_survives("after the removal")

    # --- Installed again, removed with a user interface: the question, answered Yes ---
    failures.check(msiexec(wine, "/i", windows_path(package), "/qn") == 0, "Dockvane.msi installs again")
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
