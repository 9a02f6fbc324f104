#!/usr/bin/env python3
"""The road of one drive through the real Dockvane.exe under Wine, checked from the outside only.

Dockvane runs in simulation mode on a Wine prefix of its own, in a virtual desktop on the current X
display (or on an Xvfb display this script starts). The script plugs a drive in with dvsim, watches
the files, the registry, dvsim's listings and the requests that reach its own HTTP server, drops the
backup marker, and finally makes sure that a second Dockvane.exe is refused without writing anything.
Screenshots of the balloons go to the artefacts folder. Every process it started is ended.

    road_of_a_drive.py --build-dir BUILD/windows --artefacts DIR [--keep]
"""

import argparse
import glob
import hashlib
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SHARE = "BACKUP"
ACCOUNT = "extdisk_backup"
DESCRIPTION = "Nightly backup"
GENERIC_ALL = 268435456
DRIVE = "E"
UNIT_DEADLINE_S = 20


class Failures:
    def __init__(self):
        self.items = []

    def check(self, condition, what):
        print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.items.append(what)
        return condition


def wait_for(predicate, seconds, step=0.25):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("cp1252", errors="replace")
    except OSError:
        return ""


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


class BalloonCamera:
    """Photographs the virtual desktop a few times a second and keeps one picture of every balloon
    that shows up in the notification area's corner."""

    # The corner above the taskbar of the 1024x768 desktop, where balloons open.
    CORNER = "600x130+424+618"

    def __init__(self, wine, folder):
        self.wine = wine
        self.folder = folder
        self.kept = []
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def corner(self, path):
        """The corner's pixels, and whether something white (a balloon) covers part of it."""
        done = subprocess.run(["convert", path, "-crop", self.CORNER, "+repage", "-depth", "8", "rgb:-"],
                              env=self.wine.env, capture_output=True, timeout=30)
        pixels = done.stdout
        white = sum(1 for i in range(0, len(pixels) - 2, 3 * 7) if min(pixels[i:i + 3]) > 240)
        return pixels, white > len(pixels) // (3 * 7) // 20

    def watch(self):
        previous = None
        shot = os.path.join(self.folder, "camera.png")
        while not self.stopping.wait(0.4):
            self.wine.screenshot(shot)
            try:
                pixels, balloon = self.corner(shot)
            except (OSError, subprocess.SubprocessError):
                continue
            signature = hashlib.sha1(pixels).hexdigest() if balloon else None
            if balloon and signature != previous:
                name = os.path.join(self.folder, f"balloon-{len(self.kept) + 1}.png")
                shutil.copy(shot, name)
                self.kept.append(name)
            previous = signature
        if os.path.exists(shot):
            os.remove(shot)

    def stop(self):
        self.stopping.set()
        self.thread.join(timeout=30)


class Wine:
    """A fresh prefix with one persistent server, on a display."""

    def __init__(self, work, build):
        self.build = build
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.xvfb = None
        if not self.env.get("DISPLAY"):
            self.start_xvfb()
        self.started_server = False
        self.desktop = None

    def start_xvfb(self):
        for number in range(140, 180):
            if os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            self.xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{number}"), 5) and self.xvfb.poll() is None:
                self.env["DISPLAY"] = f":{number}"
                return
            self.xvfb.kill()
            self.xvfb.wait()
            self.xvfb = None
        raise RuntimeError("no X display could be started")

    def boot(self):
        os.makedirs(self.env["WINEPREFIX"])
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.started_server = True
        subprocess.run(["wineboot", "--init"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120, check=True)

    def run(self, program, *args, timeout=60):
        """Runs one of the build's programs (or a program of the prefix, by its Windows name);
        returns (exit code, stdout without CR, stderr)."""
        path = program if ":" in program else os.path.join(self.build, program)
        done = subprocess.run(["wine", path, *args], env=self.env, capture_output=True, timeout=timeout)
        decode = lambda b: b.decode("utf-8", errors="replace").replace("\r\n", "\n")
        return done.returncode, decode(done.stdout), decode(done.stderr)

    def start_in_desktop(self, program):
        self.desktop = subprocess.Popen(["wine", "explorer", "/desktop=DockvaneE2E,1024x768",
                                         os.path.join(self.build, program)],
                                        env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run_refused_instance(self, program):
        """Starts the program, answers the message box it shows with Enter (as a user would) and
        returns (exit code, the box's title); the code is None when it did not end."""
        process = subprocess.Popen(["wine", os.path.join(self.build, program)], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        title = ""
        try:
            found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(process.pid)],
                                   env=self.env, capture_output=True, timeout=30)
            windows = found.stdout.split()
            if windows:
                window = windows[0].decode()
                title = subprocess.run(["xdotool", "getwindowname", window], env=self.env,
                                       capture_output=True).stdout.decode("utf-8", errors="replace").strip()
                # Wine takes keys from the X focus; without a window manager nobody else sets it.
                subprocess.run(["xdotool", "windowfocus", window], env=self.env, capture_output=True, timeout=10)
                subprocess.run(["xdotool", "key", "Return"], env=self.env, capture_output=True, timeout=10)
            return process.wait(timeout=30), title
        except subprocess.TimeoutExpired:
            return None, title
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()

    def reg_value(self, key, name):
        done = subprocess.run(["wine", "reg", "query", key, "/v", name], env=self.env, capture_output=True,
                              timeout=60)
        for line in done.stdout.decode("utf-8", errors="replace").splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[0] == name:
                return parts[1], parts[2]
        return None

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def stop(self):
        if self.started_server:
            subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL, timeout=60)
            subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL, timeout=60)
        if self.desktop is not None:
            try:
                self.desktop.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.desktop.kill()
                self.desktop.wait()
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait()


def user_folder(prefix, *parts):
    found = glob.glob(os.path.join(prefix, "drive_c", "users", "*", *parts))
    return found[0] if found else os.path.join(prefix, "drive_c", "users", "?", *parts)


def snapshot(paths):
    """Every file under the paths with its bytes and time of change."""
    files = []
    for path in paths:
        if os.path.isdir(path):
            files += [os.path.join(root, name) for root, _, names in os.walk(path) for name in names]
        else:
            files.append(path)
    state = {}
    for path in files:
        try:
            with open(path, "rb") as f:
                state[path] = (f.read(), os.stat(path).st_mtime_ns)
        except OSError:
            state[path] = None
    return state


def road(wine, work, artefacts, failures):
    ping = PingServer()
    try:
        drive_road(wine, work, artefacts, failures, ping)
    finally:
        ping.stop()


def drive_road(wine, work, artefacts, failures, ping):
    prefix = wine.env["WINEPREFIX"]
    simulation = os.path.join(work, "simulation")
    wine.env["DOCKVANE_SIMULATION"] = "Z:" + simulation.replace("/", "\\")
    app_log = lambda: read_text(user_folder(prefix, "Temp", "Velmora.log"))

    # --- Start-up ---
    started = time.monotonic()
    wine.start_in_desktop("src/Dockvane.exe")
    settings_file = wait_for(lambda: glob.glob(os.path.join(prefix, "drive_c/users/*/AppData/Local/dockvane/Settings.ini")), 60)
    settings_file = settings_file[0] if settings_file else ""
    wait_for(lambda: "Start" in app_log() and wine.reg_value(
        r"HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer", "NoDriveTypeAutoRun"), 60, step=1)
    print(f"..    Dockvane started in {time.monotonic() - started:.1f} s", flush=True)
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

    camera = BalloonCamera(wine, artefacts)
    try:
        plug_and_finish(wine, work, failures, ping, salt)
        time.sleep(3)  # the last balloon (the drive removed) comes after the ejection
    finally:
        camera.stop()
    print(f"..    {len(camera.kept)} balloon picture(s) kept", flush=True)
    refused_second_instance(wine, failures, settings_file, prefix, simulation, os.path.join(work, "usb-drive"))


def plug_and_finish(wine, work, failures, ping, salt):
    app_log = lambda: read_text(user_folder(wine.env["WINEPREFIX"], "Temp", "Velmora.log"))
    # --- Plug-in ---
    drive = os.path.join(work, "usb-drive")
    os.makedirs(drive)
    conf = os.path.join(drive, "velmora.conf")
    url = f"http://127.0.0.1:{ping.port}"
    with open(conf, "wb") as f:
        # Hand-written (lower-case Boolean, LF line ends): the attach writes it back in its own form.
        f.write((f"[Share]\nShareName={SHARE}\nDescription={DESCRIPTION}\nShareUserName={ACCOUNT}\n"
                 f"AutoRemove=true\nPingURL={url}/started\nPingURL={url}/second\n").encode("ascii"))
    code, _, error = wine.run("tools/dvsim/dvsim.exe", "plug", DRIVE, drive)
    failures.check(code == 0, f"dvsim plug {DRIVE} succeeds {error.strip()}")
    shared = wait_for(lambda: [l for l in wine.run("tools/dvsim/dvsim.exe", "shares")[1].splitlines() if l], 20)
    fields = shared[0].split("\t") if len(shared) == 1 else []
    failures.check(fields[:3] == [SHARE, "E:\\", DESCRIPTION], f"the share {SHARE} of E:\\ exists ({shared})")
    failures.check(len(fields) == 4 and f"dockvane:{GENERIC_ALL}" in fields[3].split(","),
                   "the default account has full rights on the share")
    _, drive_password, _ = wine.run("tools/dvtool/dvtool.exe", "password", salt + ACCOUNT)
    _, accounts, _ = wine.run("tools/dvsim/dvsim.exe", "accounts")
    failures.check(f"{ACCOUNT}\t{drive_password.strip()}\tVelmora User" in accounts.splitlines(),
                   f"the per-drive account {ACCOUNT} has its derived password")
    rewritten = read_text(conf)
    failures.check(rewritten.startswith("#=== Generated by Dockvane") and "\r\nAutoRemove=True\r\n" in rewritten
                   and rewritten.index(f"PingURL={url}/started\r\n") < rewritten.index(f"PingURL={url}/second\r\n"),
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
    failures.check("OK, Unbound " in activity() and "OK, Stopped sharing " in activity(),
                   "the activity log has the Unbound and Stopped sharing lines")
    _, present, _ = wine.run("c:/windows/system32/cmd.exe", "/c", "if exist E:\\ (echo present) else (echo absent)")
    failures.check(present.strip() == "absent", "drive E: has been ejected")



def refused_second_instance(wine, failures, settings_file, prefix, simulation, drive):
    watched = [settings_file, user_folder(prefix, "Temp"), simulation, drive]
    before = snapshot(watched)
    code, title = wine.run_refused_instance("src/Dockvane.exe")
    failures.check(title == "Dockvane\u2122", f"a second Dockvane.exe shows its refusal in a message box ({title!r})")
    failures.check(code == 0, f"a second Dockvane.exe ends with exit code 0 ({code})")
    failures.check(snapshot(watched) == before, "a second Dockvane.exe writes nothing")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True, help="the windows preset's build folder")
    parser.add_argument("--artefacts", required=True, help="where screenshots and, on failure, logs go")
    parser.add_argument("--keep", action="store_true", help="keep the work folder (prefix, drive, state)")
    options = parser.parse_args()

    build = os.path.abspath(options.build_dir)
    artefacts = os.path.abspath(options.artefacts)
    shutil.rmtree(artefacts, ignore_errors=True)
    os.makedirs(artefacts)
    work = tempfile.mkdtemp(prefix="dockvane-e2e-")
    failures = Failures()
    wine = Wine(work, build)
    try:
        began = time.monotonic()
        wine.boot()
        print(f"..    fresh Wine prefix in {time.monotonic() - began:.1f} s", flush=True)
        road(wine, work, artefacts, failures)
    except Exception as error:  # the run itself broke: report it as a failure, then clean up
        failures.check(False, f"the run completed ({type(error).__name__}: {error})")
    finally:
        wine.stop()
        if failures.items:
            # The logs tell what happened; the prefix goes, the logs stay.
            for pattern in ("usb-drive/*", "simulation/*", "prefix/drive_c/users/*/Temp/Velmora.log",
                            "prefix/drive_c/users/*/AppData/Local/dockvane/Settings.ini"):
                for path in glob.glob(os.path.join(work, pattern)):
                    if os.path.isfile(path):
                        shutil.copy(path, artefacts)
        if options.keep:
            print(f"..    work folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    print(f"..    artefacts: {artefacts}")
    if failures.items:
        print(f"{len(failures.items)} check(s) failed", file=sys.stderr)
        return 1
    print("the road of one drive: every check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
