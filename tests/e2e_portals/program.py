"""The real program, a fresh copy of dist/snapwick-linux, on one of the
headless desktops (stacks.py), run as the desktop's user the way a desktop
starts it, and its shots watched in pic/.

    app = Program.install(stack)            # set.ini's bytes optional
    app.start()
    names = app.wait_shots(1, before=[])
    app.terminate()                         # SIGTERM, its exit status
"""

import os
import re
import shutil
import signal
import subprocess
import time
from pathlib import Path

from scenario import ScenarioFailed, expect

REPO = Path(__file__).resolve().parents[2]
DIST = Path(os.environ.get("SNAPWICK_LINUX_DIST", REPO / "dist" / "snapwick-linux"))
TOKEN_FILE = "screencast.token"
# dd.mm.yyyy_hh.mm.ss_N.jpg
SHOT_NAME = re.compile(r"\d{2}\.\d{2}\.\d{4}_\d{2}\.\d{2}\.\d{2}_(\d+)\.jpg")


def shot_counter(name):
    return int(SHOT_NAME.fullmatch(name).group(1))


def settings_record(quality, sound, key, name):
    """set.ini's bytes: three values, CR LF after each, the key's name, 20 spaces."""
    return bytes([quality, 13, 10, sound, 13, 10, key, 13, 10]) + name.encode("cp1251") + b" " * 20


class Program:
    def __init__(self, stack, folder):
        self.stack = stack
        self.folder = folder
        self.proc = None
        self.runs = 0

    @classmethod
    def install(cls, stack, settings=None):
        expect((DIST / "snapwick").is_file(),
               f"{DIST}/snapwick is missing: build the linux-app preset")
        folder = stack.root / "app"
        shutil.copytree(DIST, folder)
        if settings is not None:
            (folder / "set.ini").write_bytes(settings)
        for root, _, files in os.walk(folder):
            for entry in [root, *(os.path.join(root, f) for f in files)]:
                os.chown(entry, stack.user.pw_uid, stack.user.pw_gid)
        return cls(stack, folder)

    @property
    def pic(self):
        return self.folder / "pic"

    @property
    def log_path(self):
        return self.stack.logs / f"snapwick-{self.runs}.log"

    def start(self, env=None):
        """Starts it with the desktop's environment (the Wayland session's
        variables, and `env`'s: a desktop in a chroot keeps its data
        folders there)."""
        self.runs += 1
        self.proc = self.stack.spawn_user([str(self.folder / "snapwick")],
                                          log=f"snapwick-{self.runs}", env=env)
        return self.proc.pid

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def said(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def terminate(self, number=signal.SIGTERM, timeout=10):
        os.kill(self.proc.pid, number)
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=10):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def shots(self):
        if not self.pic.is_dir():
            return []
        return sorted((n for n in os.listdir(self.pic) if SHOT_NAME.fullmatch(n)),
                      key=shot_counter)

    def new_shot_times(self, before, seconds, until=None):
        """Polls pic/ for `seconds` (or until `until(names)`), and returns
        each new shot's name with the CLOCK_MONOTONIC time in nanoseconds
        at which it was first seen whole under its name (shots are linked
        there only once written)."""
        seen = {}
        known = set(before)
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            now = time.monotonic_ns()
            for name in self.shots():
                if name not in known and name not in seen:
                    seen[name] = now
            if until and until(list(seen)):
                break
            time.sleep(0.002)
        return sorted(seen.items(), key=lambda item: shot_counter(item[0]))

    def wait_shots(self, at_least, before, timeout=10, settle=0.5):
        """The new shots once there are `at_least` and none came for `settle` s."""
        deadline = time.monotonic() + timeout
        last, since = None, time.monotonic()
        while True:
            new = [n for n in self.shots() if n not in set(before)]
            if new != last:
                last, since = new, time.monotonic()
            if len(new) >= at_least and time.monotonic() - since >= settle:
                return new
            if time.monotonic() > deadline:
                raise ScenarioFailed(f"{len(new)} new shot(s), not at least {at_least}")
            time.sleep(0.05)
