"""What the portal scenarios share: the test programs built with them (the
environment names them: SNAPWICK_PORTAL_PROBE, SNAPWICK_FAKE_KEY,
SNAPWICK_PICTURE_WINDOW), line-by-line talk with them, and the figures
printed at the end."""

import os
import select
import signal
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
