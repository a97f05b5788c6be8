"""What the portal scenarios share: the test programs built with them (the
environment names them: SNAPWICK_PORTAL_PROBE, SNAPWICK_FAKE_KEY,
SNAPWICK_PICTURE_WINDOW), line-by-line talk with them, the focused client
that shows which keys reach applications, what a process's descriptors
are, and the figures printed at the end."""

import json
import os
import re
import select
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

from stacks import StackFailed  # noqa: E402


class ScenarioFailed(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise ScenarioFailed(message)


def built(variable):
    path = os.environ.get(variable)
    if not path or not Path(path).exists():
        raise ScenarioFailed(f"{variable} does not name a built program (run through ctest)")
    return path


class Talker:
    """A program run as the desktop's user that takes commands on stdin and
    answers with one event a line ("NAME NS REST...")."""

    def __init__(self, stack, argv, env=None, log=None):
        self.name = log or Path(argv[0]).name
        with open(stack.logs / f"{self.name}.err", "ab") as errors:
            self.process = subprocess.Popen(stack._user_argv(argv),
                                            env={**stack.env, **(env or {})},
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                            stderr=errors, cwd=stack.home)
        stack.processes.append(self.process)
        self.seen = []
        # Lines are cut here from raw reads: a buffered reader could hold a
        # second line that select() no longer sees.
        self.buffer = b""

    def send(self, line):
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()

    def line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            ready, _, _ = select.select([self.process.stdout], [], [],
                                        max(0.0, deadline - time.monotonic()))
            if not ready:
                return None
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\n", 1)
        text = text.decode(errors="replace").strip()
        self.seen.append(text)
        return text

    def wait_for(self, prefix, timeout):
        """The first line that starts with `prefix`, as its words; the
        lines before it are kept in `seen`."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.line(deadline - time.monotonic())
            if text is None:
                raise ScenarioFailed(f"{self.name}: no '{prefix}' within {timeout} s "
                                     f"(saw {self.seen[-8:]})")
            if text.split()[0] == prefix:
                return text.split()

    def lines_for(self, seconds):
        """Every line that comes within `seconds`."""
        deadline = time.monotonic() + seconds
        lines = []
        while (text := self.line(deadline - time.monotonic())) is not None:
            lines.append(text)
        return lines

    def close(self):
        try:
            self.process.stdin.close()
        except OSError:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class FocusedClient:
    """wev, a plain Wayland client with the keyboard focus, printing the
    keys it receives (line-buffered, or nothing is written until it ends)."""

    def __init__(self, stack):
        self.log = stack.logs / "wev.log"
        self.process = stack.spawn_user(["stdbuf", "-oL", "wev"], log="wev")

    def pressed(self, name):
        """How often the key `name` went down in the client."""
        text = self.log.read_text(errors="replace") if self.log.exists() else ""
        # wev prints a key event's state on one line and its symbol on the next.
        return len(re.findall(r"state: 1 \(pressed\)\s*\n\s*sym: " + name + r"\s", text))


def inherited_descriptors(pid):
    """The descriptors of process `pid` past the standard three that a
    program it starts would inherit (no O_CLOEXEC among the flags of
    /proc/PID/fdinfo), each with what it is."""
    found = []
    for entry in Path(f"/proc/{pid}/fd").iterdir():
        fd = int(entry.name)
        if fd <= 2:
            continue
        try:
            target = os.readlink(entry)
            info = Path(f"/proc/{pid}/fdinfo/{fd}").read_text().splitlines()
        except OSError:
            continue  # closed meanwhile
        flags = next(int(line.split()[1], 8) for line in info if line.startswith("flags:"))
        if not flags & os.O_CLOEXEC:
            found.append((fd, target))
    return found


def pipewire_connections(pid):
    """The descriptors of process `pid` connected to the PipeWire daemon
    (the process at the socket's other end is named pipewire)."""
    owners, peers = {}, {}
    for line in subprocess.run(["ss", "-xpn"], capture_output=True, text=True,
                               check=True).stdout.splitlines()[1:]:
        words = line.split()
        if len(words) < 8:
            continue
        local, peer = words[5], words[7]
        peers[local] = peer
        owners[local] = re.findall(r'\("([^"]+)",pid=(\d+),fd=(\d+)\)', " ".join(words[8:]))
    found = []
    for inode, users in owners.items():
        for name, owner, fd in users:
            if int(owner) == pid and any(n == "pipewire" for n, _, _ in
                                         owners.get(peers.get(inode), [])):
                found.append(int(fd))
    return found


def stream_formats(stack, pid):
    """The formats PipeWire settled on for the video streams that process
    `pid` receives (pw-dump's Format parameters, as dictionaries)."""
    objects = json.loads(stack.run_user(["pw-dump"]).stdout)
    clients = {o["id"] for o in objects if o.get("type") == "PipeWire:Interface:Client" and
               str(pid) in (str(o["info"]["props"].get("application.process.id")),
                            str(o["info"]["props"].get("pipewire.sec.pid")))}
    formats = []
    for o in objects:
        props = (o.get("info") or {}).get("props", {})
        if (o.get("type") == "PipeWire:Interface:Node" and props.get("client.id") in clients and
                props.get("media.class") == "Stream/Input/Video"):
            formats += o["info"].get("params", {}).get("Format") or []
    return formats


def time_screenshots(shooter, path, width, height, desktop, count=5):
    """Asks the probe for `count` more Screenshot portal shots, each checked
    for the monitor's size, and prints their times as a figure."""
    times = []
    for n in range(count):
        shooter.send(f"grab {path}")
        words = shooter.wait_for("shot", 20)
        expect(words[2:5] == ["0", str(width), str(height)], f"shot {n}: {words}")
        times.append(int(words[5]))
    figure(f"{desktop} Screenshot portal, per shot ({count} shots, min/median/max)",
           " / ".join(ms(t) for t in (min(times), statistics.median(times), max(times))))


def figure(name, value):
    print(f"FIGURE {name}: {value}", flush=True)


def ms(ns):
    return f"{int(ns) / 1e6:.1f} ms"


def run(body, deadline=150):
    """Runs a scenario and turns its outcome into the exit status ctest
    reads. The scenario's own deadline, under ctest's timeout, fails it
    while there is still time to tear its desktop down (ctest's kill would
    leave the desktop's processes running)."""
    started = time.monotonic()

    def out_of_time(signum, frame):
        raise ScenarioFailed(f"the scenario's deadline of {deadline} s passed")

    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, out_of_time)
    signal.alarm(deadline)
    try:
        body()
    except (ScenarioFailed, StackFailed) as failure:
        print(f"FAILED: {failure}", flush=True)
        sys.exit(1)
    print(f"passed in {time.monotonic() - started:.1f} s", flush=True)
