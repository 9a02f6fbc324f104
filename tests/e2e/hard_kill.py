#!/usr/bin/env python3
"""The engine's service killed hard in the middle of an attach, again and again: no file may be left damaged.

Dockvane's engine runs as the service Dockvane (its test build, simulation mode) on a Wine prefix of
its own, with no face. Each round plugs drive E: in with dvsim and, a random moment after the plug
began (within the time a plug-in takes, narrowed to where the kills before landed in the attach),
kills the service's process with SIGKILL: no clean exit, no destructor, a write may stop half-way.
Then every file the engine writes must still be whole and readable:

- Settings.ini loads (dvtool settings, on a copy) and keeps its salt;
- velmora.conf loads (dvtool conf, on a copy) with its share name;
- Velmora.log and velmora-activity.log hold well-formed lines only, each ended by CR LF;
- accounts.tsv, shares.tsv, folders.tsv and usb-drives.tsv decode (dvsim shares, accounts, drives;
  every record has its fields and valid escapes).

A file that was replaced may be found in its complete twin (FILE.dvnew) while FILE is missing:
that is how the program reads it, so the check reads it the same way. Then the service is started
again with `sc start`, as its recovery action would (Wine's service manager runs none), and must
share the drive that is still plugged in; the drive is unplugged and the next round begins. The
table at the end tells where each kill landed: before the engine saw the drive, in the write test
that begins the attach, later in the attach, or after it. The
logs are filled beforehand (about 7 MB each), so that rewriting one takes long enough for a kill to
land in it.

At the end, the stand-in network-management library's counts of the killed processes are no leak
report (one may die holding a buffer); those of the service's process still running are.

    hard_kill.py --build-dir BUILD/windows --artefacts DIR [--rounds N | --short] [--seed S] [--keep]

--rounds N: rounds until N kills landed in the attach (20 by default; at most 4N rounds; the kills
that land before the engine saw the drive or after the attach are checked as well); --short: 3 kills
wherever they land (for ./test.sh). Every process the script started is ended.
"""

import collections
import glob
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (DVSIM, DVTOOL, SERVICE_PROGRAM, app_log_path, log_records, machine_folder,  # noqa: E402
                         main, process_runs, read_bytes, start_engine, use_simulation, wait_for, windows_pid)

DRIVE = "E"
SHARE = "HardKill"
ACCOUNT = "extdisk_kill"
FILLER_LINES = 100000  # about 7 MB a log: each rewrite takes a while
SHARED_DEADLINE_S = 30
# The fields of each file's records; a share's flags come as an eleventh field when it has any.
STATE_FILES = {"accounts.tsv": (9,), "shares.tsv": (10, 11), "folders.tsv": (2,), "usb-drives.tsv": (2,)}
TWIN = ".dvnew"
PARTIAL = ".dvpart"
ESCAPE = re.compile(r"\\(.)")
# The folder of the write test that begins every attach, in the drive root.
IO_TEST_FOLDER = "Dockvane_IoTestFolder"
BEFORE = "before the attach"
WRITE_TEST = "in the write test"
DURING = "during the attach"
AFTER = "after the attach"
IN_THE_ATTACH = (WRITE_TEST, DURING)
# The Windows process ids of the service's processes the run killed: their counts of the stand-in
# library's buffers are no leak report; those of the one still running at the end are.
KILLED = set()


def filler(title, count):
    """Well-formed log lines, the same for every run."""
    return "".join(f"[2014/07/14 10:{i // 60 % 60:02}:{i % 60:02} ]Error> {title}> line {i} of what came before\r\n"
                   for i in range(count)).encode("ascii")


def readable(path):
    """The bytes the program would read for the file: the file, or its complete twin when the file
    is missing; None when neither exists."""
    for candidate in (path, path + TWIN):
        if os.path.exists(candidate):
            return read_bytes(candidate)
    return None


def described(problems):
    return "; ".join(f"{name}: {', '.join(found)}" for name, found in problems.items()) or "none damaged"


def state_problems(path, fields):
    """What is wrong with a state file: one tab-separated record a line, comments start with #."""
    data = readable(path)
    if data is None:
        return ["missing"]
    if not data:
        return ["empty"]
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        return [f"not UTF-8 ({error})"]
    if not text.endswith("\n"):
        return [f"last line incomplete ({text[-40:]!r})"]
    problems = []
    for line in text.split("\n")[:-1]:
        if line.startswith("#"):
            continue
        record = line.split("\t")
        if len(record) not in fields:
            problems.append(f"{len(record)} fields: {line[:60]!r}")
        elif any(escape not in "tnr\\N" for field in record for escape in ESCAPE.findall(field)):
            problems.append(f"bad escape: {line[:60]!r}")
    return problems


class Rounds:
    def __init__(self, wine, work, artefacts, failures, options):
        self.wine = wine
        self.work = work
        self.artefacts = artefacts
        self.failures = failures
        self.short = options.short
        self.rounds = 3 if options.short else options.rounds
        self.random = random.Random(options.seed)
        print(f"..    {self.rounds} kills{'' if self.short else ' in the attach'}, seed {options.seed}", flush=True)
        self.simulation = use_simulation(wine, work)
        self.drive = os.path.join(work, "drive")
        os.makedirs(self.drive)
        with open(os.path.join(self.drive, "velmora.conf"), "wb") as f:
            f.write((f"[Share]\r\nShareName={SHARE}\r\nDescription=Killed again and again\r\n"
                     f"ShareUserName={ACCOUNT}\r\nAutoRemove=False\r\n").encode("ascii"))
        with open(os.path.join(self.drive, "velmora-activity.log"), "wb") as f:
            f.write(filler("Earlier ", FILLER_LINES))
        self.pid = None
        self.windows_pid = None
        self.salt = None
        self.plug_seconds = None
        self.outcomes = collections.Counter()
        self.table = []  # (round, delay, where the kill landed, restart seconds, problems)
        self.twins_seen = collections.Counter()

    @property
    def settings_file(self):
        return machine_folder(self.wine.env["WINEPREFIX"], "Settings.ini")

    def share_lines(self):
        return [line for line in self.wine.lines("shares") if line.startswith(SHARE + "\t")]

    def started_lines(self):
        records, _ = log_records(readable(os.path.join(self.drive, "velmora-activity.log")) or b"")
        return sum(1 for title, _ in records if title == " OK, Started sharing ")

    def start(self):
        """Starts the service (again) and waits until the drive, if plugged in, is shared."""
        began = time.monotonic()
        self.pid = start_engine(self.wine)
        plugged = any(line.startswith(DRIVE + "\t") for line in self.wine.lines("drives"))
        shared = wait_for(self.share_lines, SHARED_DEADLINE_S, step=0.5) if plugged else True
        seconds = time.monotonic() - began
        self.windows_pid = windows_pid(self.wine, SERVICE_PROGRAM)
        if self.windows_pid is None:
            raise RuntimeError("the Windows process id of the service's process could not be read")
        return bool(shared), seconds

    def prepare(self):
        # A long application log before the first start: every log line then rewrites a big file. The
        # machine folder made here is the host user's, which the service takes as its own under Wine, and
        # as the service makes it, closed to others (Wine cannot take a Unix mode's read right away again).
        os.makedirs(os.path.dirname(app_log_path(self.wine)), mode=0o700, exist_ok=True)
        with open(app_log_path(self.wine), "wb") as f:
            f.write(filler("Earlier ", FILLER_LINES))
        self.start()
        self.salt = self.settings_value("RegistrationCode")
        # How long a plug-in takes from the start of dvsim to its return: the kills land within it.
        began = time.monotonic()
        code, _, error = self.wine.dvsim("plug", DRIVE, self.drive, timeout=90)
        self.plug_seconds = time.monotonic() - began
        if code != 0 or not self.share_lines():
            raise RuntimeError(f"the first plug-in did not share the drive ({error.strip()})")
        print(f"..    a plug-in takes {self.plug_seconds:.2f} s; salt {self.salt}", flush=True)
        self.unplug()

    def unplug(self):
        code, _, error = self.wine.dvsim("unplug", DRIVE, timeout=90)
        if code != 0 or not wait_for(lambda: not self.share_lines(), 20, step=0.5):
            raise RuntimeError(f"the drive did not leave ({error.strip()}, shares {self.wine.lines('shares')})")

    def settings_value(self, key):
        for line in (readable(self.settings_file) or b"").decode("cp1252", errors="replace").splitlines():
            if line.strip().startswith(key + "="):
                return line.split("=", 1)[1].strip()
        return None

    def tool_on_copy(self, tool_args, path, twin_name):
        """Runs dvtool on a copy of the file (it saves what it loads), in a folder of its own."""
        folder = os.path.join(self.work, "copies")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        copy = os.path.join(folder, twin_name)
        for suffix in ("", TWIN):
            if os.path.exists(path + suffix):
                shutil.copy(path + suffix, copy + suffix)
        return self.wine.run(DVTOOL, *tool_args, copy)

    def file_problems(self):
        """Every file the engine writes, checked as the program would read it: {file: [problems]}."""
        problems = {}
        # The settings.
        if readable(self.settings_file) in (None, b""):
            problems["Settings.ini"] = ["missing or empty"]
        else:
            code, out, error = self.tool_on_copy(["settings"], self.settings_file, "Settings.ini")
            salt = [line.split("=", 1)[1] for line in out.split("\n") if line.startswith("RegistrationCode=")]
            if code != 0:
                problems["Settings.ini"] = [f"does not load: {error.strip()}"]
            elif salt != [self.salt]:
                problems["Settings.ini"] = [f"salt {salt} instead of {self.salt}"]
        # The drive's configuration.
        conf = os.path.join(self.drive, "velmora.conf")
        if readable(conf) in (None, b""):
            problems["velmora.conf"] = ["missing or empty"]
        else:
            code, out, error = self.tool_on_copy(["conf"], conf, "velmora.conf")
            if code != 0 or f"ShareName={SHARE}" not in out.split("\n"):
                problems["velmora.conf"] = [f"does not load with its share name: {error.strip()} {out[:80]!r}"]
        # The logs.
        for name, path, least in (("Velmora.log", app_log_path(self.wine), FILLER_LINES),
                                  ("velmora-activity.log", os.path.join(self.drive, "velmora-activity.log"),
                                   FILLER_LINES)):
            data = readable(path)
            records, malformed = log_records(data or b"")
            found = []
            if data is None:
                found.append("missing")
            if malformed:
                found.append(f"{len(malformed)} malformed line(s), e.g. {malformed[0][:60]!r}")
            if len(records) < least:
                found.append(f"only {len(records)} lines (at least {least} were there)")
            if found:
                problems[name] = found
        # The simulation's state.
        for name, fields in STATE_FILES.items():
            found = state_problems(os.path.join(self.simulation, name), fields)
            if found:
                problems[name] = found
        for listing in ("shares", "accounts", "drives"):
            code, _, error = self.wine.dvsim(listing)
            if code != 0:
                problems.setdefault(f"dvsim {listing}", []).append(error.strip())
        # What a write cut short leaves beside the files.
        for folder in (self.drive, self.simulation, os.path.dirname(self.settings_file),
                       os.path.dirname(app_log_path(self.wine))):
            for twin in glob.glob(os.path.join(folder, "*" + TWIN)) + glob.glob(os.path.join(folder, "*" + PARTIAL)):
                self.twins_seen[os.path.basename(twin)] += 1
        return problems

    def where_it_landed(self, app_log_size, started_before):
        """Where in the attach the kill came: before the engine saw the drive, in the write test that
        begins the attach (its folder is left on the drive), later in the attach (the "Attached" line
        is written, the "Started sharing" line not yet) or after it."""
        tail = (readable(app_log_path(self.wine)) or b"")[app_log_size:].decode("cp1252", errors="replace")
        if self.started_lines() > started_before:
            return AFTER
        if f"Attached > {DRIVE}:\\" in tail:
            return DURING
        if os.path.isdir(os.path.join(self.drive, IO_TEST_FOLDER)):
            return WRITE_TEST
        return BEFORE

    def window(self):
        """Where the next kill may land: a kill that came before the engine saw the drive moves the
        window's start after it, one that came after the attach moves its end before it (with a
        margin, as each plug-in takes its own time), so that most kills land in the attach."""
        before = [delay for _, delay, landed, *_ in self.table if landed == BEFORE]
        after = [delay for _, delay, landed, *_ in self.table if landed == AFTER]
        start = max(before, default=0.0) * 0.8
        end = min(after, default=self.plug_seconds) * 1.2
        return (start, end) if start < end else (0.0, self.plug_seconds)

    def round(self, number):
        self.failures.case = f"round {number}"
        delay = self.random.uniform(*self.window())
        app_log_size = len(readable(app_log_path(self.wine)) or b"")
        started_before = self.started_lines()
        plug = subprocess.Popen(["wine", os.path.join(self.wine.build, DVSIM), "plug", DRIVE, self.drive],
                                env=self.wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        time.sleep(delay)
        KILLED.add(self.windows_pid)
        os.kill(self.pid, signal.SIGKILL)
        ended = wait_for(lambda: not process_runs(self.pid), 10, step=0.1)
        try:
            plug_error = plug.communicate(timeout=90)[1].decode("utf-8", errors="replace").strip()
        except subprocess.TimeoutExpired:
            plug.kill()
            plug_error = "dvsim plug did not end"
        landed = self.where_it_landed(app_log_size, started_before)
        self.outcomes[landed] += 1
        check = self.failures.check
        check(ended, f"round {number}: the service's process was killed {delay:.2f} s after the plug began ({landed})")
        check(plug.returncode == 0, f"round {number}: dvsim plug ended well ({plug.returncode} {plug_error})",
              quiet=True)
        problems = self.file_problems()
        check(not problems, f"round {number}: every file whole and readable after the kill ({described(problems)})")
        leftover = os.path.isdir(os.path.join(self.drive, IO_TEST_FOLDER))
        shared, seconds = self.start()
        check(shared, f"round {number}: the next start shared the drive ({seconds:.1f} s; shares "
                      f"{self.wine.lines('shares')}" + (f"; the kill left {IO_TEST_FOLDER} on the drive)" if leftover
                                                       else ")"))
        after = self.file_problems()
        check(not after, f"round {number}: every file whole and readable after the next start ({described(after)})",
              quiet=True)
        self.table.append((number, delay, landed, seconds, sorted(set(problems) | set(after)), shared))
        if problems or after or not shared:
            self.keep(number)
        self.unplug()

    def keep(self, number):
        folder = os.path.join(self.artefacts, f"round-{number:02}")
        os.makedirs(folder, exist_ok=True)
        for path in (glob.glob(os.path.join(self.drive, "*")) + glob.glob(os.path.join(self.simulation, "*"))
                     + glob.glob(self.settings_file + "*")):
            if os.path.isfile(path):
                shutil.copy(path, folder)
            elif os.path.isdir(path):
                shutil.copytree(path, os.path.join(folder, os.path.basename(path)), dirs_exist_ok=True)
        log = readable(app_log_path(self.wine)) or b""
        with open(os.path.join(folder, "Velmora.log.tail"), "wb") as f:
            f.write(log[-4000:])

    def print_table(self):
        self.failures.case = None
        print("\n== the kills", flush=True)
        print(f"{'round':>5}  {'delay':>6}  {'where the kill landed':<22}  {'restart':>7}  shared  damaged files")
        for number, delay, landed, seconds, damaged, shared in self.table:
            print(f"{number:>5}  {delay:>5.2f}s  {landed:<22}  {seconds:>6.1f}s  {'yes' if shared else 'NO':<6}  "
                  f"{', '.join(damaged) if damaged else 'none'}")
        print("landed: " + ", ".join(f"{count} {where}" for where, count in sorted(self.outcomes.items())))
        if self.twins_seen:
            print("left beside the files after a kill (and read as the program reads them): "
                  + ", ".join(f"{name} {count}x" for name, count in sorted(self.twins_seen.items())))
        else:
            print("no twin (.dvnew, .dvpart) was ever left beside a file")


def hard_kill(wine, work, artefacts, failures, options):
    rounds = Rounds(wine, work, artefacts, failures, options)
    try:
        rounds.prepare()
        if rounds.short:  # a few kills wherever they land
            for number in range(1, rounds.rounds + 1):
                rounds.round(number)
            return
        # Kills that land before or after the attach are checked too but do not count.
        number = 0
        in_attach = lambda: sum(rounds.outcomes[where] for where in IN_THE_ATTACH)
        while in_attach() < rounds.rounds and number < 4 * rounds.rounds:
            number += 1
            rounds.round(number)
        failures.case = None
        failures.check(in_attach() >= rounds.rounds, f"{rounds.rounds} kills landed in the attach ({in_attach()} "
                                                     f"of {number})")
    finally:
        rounds.print_table()


def arguments(parser):
    parser.add_argument("--rounds", type=int, default=20, help="how many kills in the attach (default 20)")
    parser.add_argument("--short", action="store_true",
                        help="3 kills wherever they land: the short version for ./test.sh")
    parser.add_argument("--seed", type=int, default=int(time.time()) % 100000,
                        help="seed of the random moments of the kills")


if __name__ == "__main__":
    code = main(__doc__, hard_kill, arguments=arguments, killed=KILLED)
    if code == 0:
        print("hard kills: every file stayed whole and the next start shared the drive")
    sys.exit(code)
