"""What the portal scenarios share: the test programs built with them (the
environment names them: SNAPWICK_PORTAL_PROBE, SNAPWICK_FAKE_KEY,
SNAPWICK_PICTURE_WINDOW), line-by-line talk with them, and the figures
printed at the end."""

import os
import select
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
        self.process = subprocess.Popen(stack._user_argv(argv), env={**stack.env, **(env or {})},
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=open(stack.logs / f"{self.name}.err", "ab"),
                                        text=True, cwd=stack.home, bufsize=1)
        stack.processes.append(self.process)
        self.seen = []

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def line(self, timeout):
        ready, _, _ = select.select([self.process.stdout], [], [], max(0.0, timeout))
        if not ready:
            return None
        text = self.process.stdout.readline()
        if not text:
            return None
        self.seen.append(text.strip())
        return text.strip()

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


def run(body):
    """Runs a scenario and turns its outcome into the exit status ctest
    reads."""
    started = time.monotonic()
    try:
        body()
    except (ScenarioFailed, StackFailed) as failure:
        print(f"FAILED: {failure}", flush=True)
        sys.exit(1)
    print(f"passed in {time.monotonic() - started:.1f} s", flush=True)
