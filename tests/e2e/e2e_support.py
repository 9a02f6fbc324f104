"""What the end-to-end runs of the real Dockvane share: a fresh Wine prefix with one persistent
server on an X display, the programs of the build run through it, the checks and their report, and a
frame that boots, runs, keeps artefacts on failure and ends every process it started."""

import argparse
import glob
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

GENERIC_ALL = 268435456
TITLE = "Dockvane\u2122"
DVSIM = "tools/dvsim/dvsim.exe"
DVTOOL = "tools/dvtool/dvtool.exe"
# The test tray of the versions before the service: engine and tray in one process (the screenshots).
DOCKVANE = "src/DockvaneTray.exe"
# What each signed-in person runs once the engine is a service: the tray icon, its menus, the
# balloons and message boxes the engine reports over its pipe.
FACE = "src/Dockvane.exe"
CLI = "tools/cli/dockvane-cli.exe"
# The network-management library that stands in for Windows' own under Wine (shares and accounts
# kept in the simulation folder); Wine loads it for a program that lies beside it.
NETAPI_STANDIN = "tests/standins/netapi32/netapi32.dll"
# A real service that stands in for Windows Search: it is registered as "WSearch" in every run's prefix
# and runs when Dockvane starts. It takes its time to start and to stop, as the real one does.
SEARCH_STANDIN = "tests/standins/wsearch/wsearch_standin.exe"
SEARCH_SERVICE = "WSearch"
SEARCH_START_DELAY_MS = 1000
SEARCH_STOP_DELAY_MS = 1500
MESSAGE_BOXES = "tests/e2e/e2e_message_boxes.exe"
PROCESS_PROBE = "tests/e2e/e2e_process_probe.exe"
# The engine as a service (test build: simulation mode, its folder given on its command line), and
# where it is installed in the prefix: inside it (Wine does not start a service from Z:), in a
# folder whose name needs the quotes the installer puts around it.
SIM_SERVICE = "src/DockvaneSimService.exe"
ENGINE_SERVICE = "Dockvane"
ENGINE_SERVICE_FOLDER = "Program Files/Dockvane"
SERVICE_PROGRAM = os.path.basename(SIM_SERVICE)
FACE_PROGRAM = os.path.basename(FACE)
MASTER = "dockvane"
DESKTOP = "DockvaneE2E"


class Failures:
    """The checks of a run. Each failure is kept with the case it belongs to (None outside cases)."""

    def __init__(self):
        self.items = []
        self.case = None

    def check(self, condition, what, quiet=False):
        """Notes a check; a quiet one is printed only when it fails."""
        if not (quiet and condition):
            print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.items.append((self.case, what))
        return condition

    def of_case(self, case):
        return [what for name, what in self.items if name == case]


def wait_for(predicate, seconds, step=0.25):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def read_text(path):
    """A file in the system code page (the logs, the settings), as text."""
    return read_bytes(path).decode("cp1252", errors="replace")


def user_folder(prefix, *parts):
    found = glob.glob(os.path.join(prefix, "drive_c", "users", "*", *parts))
    return found[0] if found else os.path.join(prefix, "drive_c", "users", "?", *parts)


def machine_folder(prefix, *parts):
    """%ProgramData%\\Dockvane of the prefix: the settings and the application log."""
    return os.path.join(prefix, "drive_c", "ProgramData", "Dockvane", *parts)


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


def display_range():
    """The X display numbers a run may take when it starts its own display: DOCKVANE_E2E_DISPLAYS
    ("FIRST-LAST"), 140-179 without it."""
    first, _, last = os.environ.get("DOCKVANE_E2E_DISPLAYS", "140-179").partition("-")
    return range(int(first), int(last or first) + 1)


def display_owner(number):
    """The process id of the X server that holds the display's lock; None when nobody holds it."""
    try:
        with open(f"/tmp/.X{number}-lock") as lock:
            return int(lock.read().strip())
    except (OSError, ValueError):
        return None


class Wine:
    """A fresh prefix with one persistent server, on a display."""

    def __init__(self, work, build):
        self.build = build
        self.work = work
        self.env = dict(os.environ)
        # netapi32: the stand-in library where it lies beside the program (Dockvane's copy), Wine's
        # own for every other program.
        self.env.update(WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;netapi32=n,b")
        self.xvfb = None
        if not self.env.get("DISPLAY"):
            self.start_xvfb()
        self.started_server = False
        self.desktops = []
        self.engine_installed = False

    def start_xvfb(self):
        for number in display_range():
            if os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            self.xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # Another run may have started a server on the same number at the same moment: the display
            # is ours only when the lock names our server (the other one ends once it sees the lock,
            # which may be after the display's socket is there).
            if wait_for(lambda: display_owner(number) == self.xvfb.pid and os.path.exists(f"/tmp/.X11-unix/X{number}")
                        or self.xvfb.poll() is not None, 5) and self.xvfb.poll() is None:
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
        # Making the prefix leaves two service control managers running, each with a list of services
        # of its own (a service made through one is unknown to the other): start the server once more.
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        subprocess.run(["wineboot"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120, check=True)
        self.install_search_service()

    def install_search_service(self):
        """Registers the stand-in search service as WSearch (its program copied into the prefix) and
        starts it; the run begins with it running."""
        system = os.path.join(self.env["WINEPREFIX"], "drive_c", "windows", "system32")
        shutil.copy(os.path.join(self.build, SEARCH_STANDIN), system)
        command = (f"C:\\windows\\system32\\{os.path.basename(SEARCH_STANDIN)} "
                   f"--start-delay-ms {SEARCH_START_DELAY_MS} --stop-delay-ms {SEARCH_STOP_DELAY_MS}")
        code, out, error = self.run("C:/windows/system32/sc.exe", "create", SEARCH_SERVICE, "binPath=", command,
                                    "start=", "demand")
        if code != 0:
            raise RuntimeError(f"sc create {SEARCH_SERVICE} failed ({code}): {out.strip()} {error.strip()}")
        if not self.set_search_service(running=True):
            raise RuntimeError(f"the service {SEARCH_SERVICE} did not start ({self.search_service_state()})")

    def search_service_state(self):
        """The state of WSearch as `sc query` tells it: RUNNING, STOPPED, START_PENDING, ...; None when
        it cannot be read."""
        return self.service_state(SEARCH_SERVICE)

    def service_state(self, name):
        """The state of a service as `sc query` tells it; None when it cannot be read."""
        _, out, _ = self.run("C:/windows/system32/sc.exe", "query", name, timeout=30)
        match = re.search(r"^\s*STATE\s*:\s*\d+\s+(\w+)", out, re.MULTILINE)
        return match.group(1) if match else None

    def sc(self, *args, timeout=60):
        """Runs the prefix's sc with the arguments; returns (exit code, stdout, stderr)."""
        return self.run("C:/windows/system32/sc.exe", *args, timeout=timeout)

    def install_engine_service(self, simulation):
        """Registers the test build of the engine's service as the installer will register the shipped
        one (LocalSystem, started at boot, restarted after a crash), in simulation mode on the folder
        (a Windows path) given on its command line, with the stand-in network-management library
        beside it. Does not start it."""
        folder = os.path.join(self.env["WINEPREFIX"], "drive_c", *ENGINE_SERVICE_FOLDER.split("/"))
        os.makedirs(folder, exist_ok=True)
        for name in (SIM_SERVICE, NETAPI_STANDIN):
            shutil.copy(os.path.join(self.build, name), folder)
        program = "C:\\" + ENGINE_SERVICE_FOLDER.replace("/", "\\") + "\\" + os.path.basename(SIM_SERVICE)
        steps = (("create", ENGINE_SERVICE, "binPath=", f'"{program}" --simulation {simulation}', "start=", "auto",
                  "obj=", "LocalSystem", "DisplayName=", "Dockvane drive sharing"),
                 ("failure", ENGINE_SERVICE, "reset=", "86400", "actions=", "restart/5000/restart/5000/restart/5000"))
        for step in steps:
            code, out, error = self.sc(*step)
            if code != 0:
                raise RuntimeError(f"sc {step[0]} {ENGINE_SERVICE} failed ({code}): {out.strip()} {error.strip()}")

    def host_pids(self, program):
        """The host process ids of the running processes of this prefix whose command line names the
        program (a file name such as DockvaneSimService.exe)."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    command = f.read().decode("utf-8", errors="replace")
                with open(f"/proc/{entry}/environ", "rb") as f:
                    environment = f.read().split(b"\0")
            except OSError:
                continue
            prefix = ("WINEPREFIX=" + self.env["WINEPREFIX"]).encode()
            if program.lower() in command.lower() and prefix in environment and process_runs(int(entry)):
                found.append(int(entry))
        return found

    def set_search_service(self, running, seconds=30):
        """Starts or stops WSearch with sc (as a person would) and waits until it got there."""
        wanted = "RUNNING" if running else "STOPPED"
        if self.search_service_state() != wanted:
            self.run("C:/windows/system32/sc.exe", "start" if running else "stop", SEARCH_SERVICE, timeout=60)
        return wait_for(lambda: self.search_service_state() == wanted, seconds, step=0.25)

    def run(self, program, *args, timeout=60):
        """Runs one of the build's programs (or a program of the prefix, by its Windows name);
        returns (exit code, stdout without CR, stderr)."""
        path = program if ":" in program else os.path.join(self.build, program)
        # Files, not pipes: a process that Wine starts on the program's behalf (the explorer of a
        # desktop the program is the first to use) inherits them and outlives it, and a pipe would
        # then not end before that one does.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(["wine", path, *args], env=self.env, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            decode = lambda b: b.decode("utf-8", errors="replace").replace("\r\n", "\n")
            return done.returncode, decode(out.read()), decode(err.read())

    def dvsim(self, *args, timeout=60):
        return self.run(DVSIM, *args, timeout=timeout)

    def lines(self, *args):
        """dvsim's listing (shares, accounts, drives) as its non-empty lines."""
        return [line for line in self.dvsim(*args)[1].split("\n") if line]

    def start_in_desktop(self, program):
        """Starts the program in the run's virtual desktop (a second start joins the same desktop)."""
        self.desktops.append(subprocess.Popen(["wine", "explorer", f"/desktop={DESKTOP},1024x768",
                                               os.path.join(self.build, program)],
                                              env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def xdotool(self, *args, timeout=10):
        done = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, timeout=timeout)
        return done.stdout.decode("utf-8", errors="replace").strip()

    def window_pid(self, name):
        """The host process id of the (possibly hidden) window of that exact name; None without one."""
        for window in self.xdotool("search", "--name", f"^{name}$").split():
            pid = self.xdotool("getwindowpid", window)
            if pid.isdigit():
                return int(pid)
        return None

    def visible_windows(self):
        """(X window, title) of every window shown on the display but the virtual desktop itself."""
        found = []
        for window in self.xdotool("search", "--onlyvisible", "--name", ".").split():
            title = self.xdotool("getwindowname", window)
            if title and not title.endswith(" - Wine desktop"):
                found.append((window, title))
        return found

    def message_box_texts(self):
        """(title, text) of every message box shown on any desktop, read from the Windows side."""
        _, out, _ = self.run(MESSAGE_BOXES, timeout=30)
        unescape = lambda s: s.replace("\\r", "\r").replace("\\n", "\n").replace("\\t", "\t").replace("\\\\", "\\")
        return [tuple(unescape(part) for part in line.split("\t", 1)) for line in out.split("\n") if "\t" in line]

    def press_return(self, window):
        # Wine takes keys from the X focus; without a window manager nobody else sets it.
        self.xdotool("windowfocus", window)
        self.xdotool("key", "Return")

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
        for desktop in self.desktops:
            try:
                desktop.wait(timeout=10)
            except subprocess.TimeoutExpired:
                desktop.kill()
                desktop.wait()
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait()


class BoxWatcher:
    """Answers every message box that shows on the desktop as a person would: reads it, takes its
    picture, presses Enter. Keeps what each box said, in order."""

    def __init__(self, wine):
        self.wine = wine
        self.boxes = []  # (title, text, picture)
        self.folder = None
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def count(self):
        with self.lock:
            return len(self.boxes)

    def since(self, mark):
        with self.lock:
            return list(self.boxes[mark:])

    def watch(self):
        while not self.stopping.wait(0.3):
            try:
                for window, title in self.wine.visible_windows():
                    self.answer(window, title)
            except Exception as error:  # a box that went away while it was read: look again
                print(f"..    (box watcher: {type(error).__name__}: {error})", flush=True)

    def answer(self, window, title):
        texts = []
        for _ in range(5):  # the box may not have its text yet
            texts = [text for shown, text in self.wine.message_box_texts() if shown == title]
            if texts:
                break
            time.sleep(0.2)
        picture = ""
        if self.folder:
            os.makedirs(self.folder, exist_ok=True)
            picture = os.path.join(self.folder, f"box-{self.count() + 1}.png")
            self.wine.screenshot(picture)
        text = texts[0] if texts else ""
        with self.lock:
            self.boxes.append((title, text, picture))
        print(f"..    message box {title!r}: {text.strip()!r} (answered with Enter)", flush=True)
        for _ in range(5):
            self.wine.press_return(window)
            if wait_for(lambda: window not in [w for w, _ in self.wine.visible_windows()], 2, step=0.2):
                return

    def stop(self):
        self.stopping.set()
        self.thread.join(timeout=30)


# --- Dockvane itself ---

AUTORUN_POLICY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer"


def engine_paths(wine):
    """Where the engine keeps its state in the prefix, whether the tray or the service runs it: the
    machine folder's "settings", Settings.ini, and "app_log", Velmora.log."""
    prefix = wine.env["WINEPREFIX"]
    return {"settings": machine_folder(prefix, "Settings.ini"), "app_log": machine_folder(prefix, "Velmora.log")}


def app_log_path(wine):
    """Velmora.log of the prefix, in the machine folder."""
    return engine_paths(wine)["app_log"]


# --- A running Dockvane: the engine as the service, and a face where a person looks ---

def use_simulation(wine, work):
    """The run's simulation folder (made when missing), named in the environment of every program the
    run starts (dvsim, dvtool); the service gets it on its command line. Returns its host path."""
    simulation = os.path.join(work, "simulation")
    os.makedirs(simulation, exist_ok=True)
    wine.env["DOCKVANE_SIMULATION"] = "Z:" + simulation.replace("/", "\\")
    return simulation


def engine_pid(wine):
    """The host process id of the service's process; None when none or more than one runs."""
    pids = wine.host_pids(SERVICE_PROGRAM)
    return pids[0] if len(pids) == 1 else None


def engine_answers(wine):
    """Whether the engine answers dockvane-cli's status over its pipe."""
    return wine.run(CLI, "status", timeout=30)[0] == 0


def start_engine(wine):
    """Starts the service Dockvane (registered with the run's simulation folder the first time) and
    waits until it is ready: the service manager says it runs, its start line is logged, its pipe
    answers, the AutoRun policy is applied and the master account made. Returns the host process id
    of the service's process."""
    started = time.monotonic()
    if not wine.engine_installed:
        wine.install_engine_service(wine.env["DOCKVANE_SIMULATION"])
        wine.engine_installed = True
    log_size = len(read_bytes(app_log_path(wine)))
    # After its process was killed, Wine's service manager still says RUNNING, yet starts it again.
    code, out, error = wine.sc("start", ENGINE_SERVICE)
    ready = wait_for(lambda: wine.service_state(ENGINE_SERVICE) == "RUNNING"
                     and "Start" in read_text(app_log_path(wine))[log_size:] and engine_answers(wine)
                     and wine.reg_value(AUTORUN_POLICY, "NoDriveTypeAutoRun"), 60, step=0.5)
    pid = wait_for(lambda: engine_pid(wine), 10)
    if not ready or not pid:
        raise RuntimeError(f"the service {ENGINE_SERVICE} did not start ({wine.service_state(ENGINE_SERVICE)}; "
                           f"sc start: {code} {out.strip()[-200:]} {error.strip()})")
    wait_for(lambda: any(line.startswith(MASTER + "\t") for line in wine.lines("accounts")), 10)
    print(f"..    the service started in {time.monotonic() - started:.1f} s (process {pid})", flush=True)
    return pid


def stop_engine(wine, seconds=30):
    """Stops the service with sc stop, as an administrator would; whether it got to STOPPED and its
    process ended."""
    pid = engine_pid(wine)
    wine.sc("stop", ENGINE_SERVICE)
    return bool(wait_for(lambda: wine.service_state(ENGINE_SERVICE) == "STOPPED"
                         and (pid is None or not process_runs(pid)), seconds))


def eject_through_cli(wine, drive):
    """dockvane-cli eject DRIVE: (exit code, what it printed on both outputs)."""
    code, out, error = wine.run(CLI, "eject", f"{drive}:", timeout=60)
    return code, (out + error).strip()


def face_pids(wine):
    """The host process ids of the faces that run: the processes that run the face's program, not those
    that only name it on their command line (the desktop's explorer that started it)."""
    def runs_face(pid):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                program = f.read().split(b"\0")[0].decode("utf-8", errors="replace")
        except OSError:
            return False
        return re.split(r"[\\/]", program)[-1].lower() == FACE_PROGRAM.lower()
    return [pid for pid in wine.host_pids(FACE_PROGRAM) if runs_face(pid)]


def start_face(wine):
    """Starts the face in the run's desktop, as a signed-in person's session does, and waits until its
    window is there. Start it once the engine answers: a face that finds the engine still starting is
    refused its subscription, and then hears no balloon, box or change until it connects again.
    Returns the host process id."""
    started = time.monotonic()
    before = set(face_pids(wine))
    wine.start_in_desktop(FACE)
    pid = wait_for(lambda: next(iter(set(face_pids(wine)) - before), None), 60, step=0.5)
    if not pid or not wait_for(lambda: windows_pid(wine, FACE_PROGRAM), 30):
        raise RuntimeError("the face did not start")
    # It finds the engine on a worker of its own and is told the engine's status at once.
    time.sleep(2)
    print(f"..    the face started in {time.monotonic() - started:.1f} s (process {pid})", flush=True)
    return pid


def face_command(wine, verb, *args, timeout=60):
    """Sends the face's window a tray command through e2e_process_probe (eject SLOT, exit [MS]):
    (exit code, stdout, stderr)."""
    return wine.run(PROCESS_PROBE, verb, FACE_PROGRAM, *args, timeout=timeout)


def process_runs(pid):
    """Whether the host process runs (and is no zombie)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except (OSError, TypeError):
        return False


def process_stats(wine, process=SERVICE_PROGRAM):
    """What the process holds, counted from the Windows side: threads, handles, gdi, user, private
    (bytes) and how each was counted (handles_via, gdi_via, user_via, private_via); None when it
    cannot be read."""
    code, out, _ = wine.run(PROCESS_PROBE, "stats", process, timeout=60)
    if code != 0:
        return None
    fields = dict(item.split("=", 1) for item in out.split() if "=" in item)
    return {key: int(value) if value.lstrip("-").isdigit() else value for key, value in fields.items()}


# A record as the logs write it: [TIME]SEVERITY>TITLE>DESCRIPTION, the time "yyyy/mm/dd hh:nn:ss ",
# every ">" inside the title doubled.
LOG_RECORD = re.compile(r"\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d \](Error|Warning|Information)>((?:[^>]|>>)*)>(.*)")


def log_records(data):
    """The records of a log file's bytes as (title, description), and the lines that are none. A file
    whose last line is not complete has that piece among the malformed lines."""
    lines = data.decode("cp1252", errors="replace").split("\r\n")
    malformed = [lines[-1]] if lines[-1] else []
    records = []
    for line in lines[:-1]:
        match = LOG_RECORD.fullmatch(line)
        if match:
            records.append((match.group(2).replace(">>", ">"), match.group(3)))
        else:
            malformed.append(line)
    return records, malformed


# The corner above the taskbar of the 1024x768 desktop, where balloons open.
BALLOON_CORNER = "600x130+424+618"


def balloon_in_corner(wine, shot):
    """The signature of the balloon that the screenshot shows in the notification corner; None when
    nothing white (a balloon) covers part of it."""
    done = subprocess.run(["convert", shot, "-crop", BALLOON_CORNER, "+repage", "-depth", "8", "rgb:-"],
                          env=wine.env, capture_output=True, timeout=30)
    pixels = done.stdout
    white = sum(1 for i in range(0, len(pixels) - 2, 3 * 7) if min(pixels[i:i + 3]) > 240)
    return hashlib.sha1(pixels).hexdigest() if white > len(pixels) // (3 * 7) // 20 else None


class BalloonCamera:
    """Photographs the virtual desktop a few times a second and keeps one picture of every balloon
    that shows up in the notification area's corner."""

    def __init__(self, wine, folder):
        self.wine = wine
        self.folder = folder
        self.kept = []
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def watch(self):
        previous = None
        shot = os.path.join(self.folder, "camera.png")
        while not self.stopping.wait(0.4):
            self.wine.screenshot(shot)
            try:
                signature = balloon_in_corner(self.wine, shot)
            except (OSError, subprocess.SubprocessError):
                continue
            if signature is not None and signature != previous:
                name = os.path.join(self.folder, f"balloon-{len(self.kept) + 1}.png")
                shutil.copy(shot, name)
                self.kept.append(name)
            previous = signature
        if os.path.exists(shot):
            os.remove(shot)

    def stop(self):
        self.stopping.set()
        self.thread.join(timeout=30)


# Kept in the artefacts folder when a run fails: the logs and the state tell what happened.
FAILURE_FILES = ("simulation/*", "prefix/drive_c/ProgramData/Dockvane/Velmora.log",
                 "prefix/drive_c/ProgramData/Dockvane/Settings.ini")


# The counts the stand-in network-management library keeps for each process that loaded it, in the
# simulation folder; it replaces the file whole (FILE.dvnew, its complete twin, may stand in for it).
BUFFER_COUNTS = re.compile(r"netapi32-buffers-(\d+)\.txt")
BUFFER_FIELDS = ("program", "handed", "freed", "foreign", "unreleased")


def netapi_buffer_counts(simulation):
    """{Windows process id: (file name, its fields, or None when they are not all there)}, each file
    read as the library's readers read it: the file, or its complete twin when the file is missing."""
    counts = {}
    for path in sorted(glob.glob(os.path.join(simulation, "netapi32-buffers-*.txt*"))):
        name = os.path.basename(path)
        match = BUFFER_COUNTS.fullmatch(name.removesuffix(".dvnew"))
        if not match or (name.endswith(".dvnew") and os.path.exists(path.removesuffix(".dvnew"))):
            continue
        text = read_text(path)
        fields = dict(line.split("\t", 1) for line in text.splitlines() if "\t" in line)
        whole = text.endswith("\n") and all(fields.get(key, "") != "" for key in BUFFER_FIELDS)
        counts[int(match.group(1))] = (name, fields if whole else None)
    return counts


def netapi_buffer_problems(simulation, killed=()):
    """What the stand-in network-management library counted in each process that loaded it: buffers
    it handed out and nobody released, and releases of memory it never handed out. `killed` holds the
    Windows process ids of the processes the run killed: such a process may have died holding a
    buffer, so its count of unreleased ones (or counts it left unwritten) is no leak report; every
    other process's counts must be there, whole, with nothing unreleased. Also a problem: no process
    loaded the library at all."""
    counts = netapi_buffer_counts(simulation)
    if not counts:
        return ["no process used the stand-in network-management library"]
    problems = []
    for pid, (file_name, fields) in sorted(counts.items()):
        if fields is None:
            if pid not in killed:
                problems.append(f"{file_name}: the counts are empty or cut short, and the process was not killed")
            continue
        name = f"{fields['program']} ({file_name}{', killed' if pid in killed else ''})"
        if pid not in killed and fields["unreleased"] != "0":
            problems.append(f"{name}: {fields['unreleased']} buffer(s) never released")
        if fields["foreign"] != "0":
            problems.append(f"{name}: {fields['foreign']} release(s) of memory it did not hand out")
    return problems


def windows_pid(wine, process=SERVICE_PROGRAM):
    """The Windows process id of the (first) running process of that name, as the stand-in library
    names its counts; None when there is none or the probe could not tell."""
    for _ in range(3):  # a Wine start can fail on a loaded machine
        code, out, _ = wine.run(PROCESS_PROBE, "pid", process, timeout=60)
        match = re.search(r"^pid=(\d+)$", out, re.MULTILINE)
        if code == 0 and match:
            return int(match.group(1))
    return None


def main(doc, body, failure_files=(), arguments=None, killed=()):
    """Parses the common arguments, boots a fresh prefix, runs body(wine, work, artefacts, failures)
    and cleans up; the exit code tells whether every check passed. A run with options of its own
    adds them with arguments(parser) and gets them as body's fifth argument. At the end every buffer
    of the stand-in network-management library must have been released, except by the processes
    whose Windows ids the body put into `killed` (a set): they may have died holding one."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--build-dir", required=True, help="the windows preset's build folder")
    parser.add_argument("--artefacts", required=True, help="where screenshots and, on failure, logs go")
    parser.add_argument("--keep", action="store_true", help="keep the work folder (prefix, drives, state)")
    if arguments:
        arguments(parser)
    options = parser.parse_args()

    # A run stopped from outside (ctest's time-out) still ends the processes it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped from outside"))
    build = os.path.abspath(options.build_dir)
    artefacts = os.path.abspath(options.artefacts)
    shutil.rmtree(artefacts, ignore_errors=True)
    os.makedirs(artefacts)
    work = tempfile.mkdtemp(prefix="dockvane-e2e-")
    failures = Failures()
    began = time.monotonic()
    wine = Wine(work, build)
    try:
        wine.boot()
        print(f"..    fresh Wine prefix in {time.monotonic() - began:.1f} s", flush=True)
        if arguments:
            body(wine, work, artefacts, failures, options)
        else:
            body(wine, work, artefacts, failures)
        failures.case = None
        problems = netapi_buffer_problems(os.path.join(work, "simulation"), killed)
        failures.check(not problems, "every buffer of the network-management library was released"
                       + "".join(f"\n      {problem}" for problem in problems))
    except Exception as error:  # the run itself broke: report it as a failure, then clean up
        failures.case = None
        failures.check(False, f"the run completed ({type(error).__name__}: {error})")
    finally:
        wine.stop()
        if failures.items:
            for pattern in FAILURE_FILES + tuple(failure_files):
                for path in glob.glob(os.path.join(work, pattern)):
                    if os.path.isfile(path):
                        shutil.copy(path, artefacts)
        if options.keep:
            print(f"..    work folder kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)
    print(f"..    artefacts: {artefacts}")
    print(f"..    {time.monotonic() - began:.0f} s in all")
    if failures.items:
        print(f"{len(failures.items)} check(s) failed", file=sys.stderr)
        return 1
    return 0
