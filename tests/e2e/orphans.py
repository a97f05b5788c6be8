"""The scenario process as the subreaper of what its children leave behind
(the accessibility bus a session bus starts, the background sway starts),
so that every process a scenario caused ends with it, by its id."""

import ctypes
import os
import signal
import time
from pathlib import Path

_PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(_PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def _children():
    me = os.getpid()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == me:
            found.append((int(entry.name), fields[0]))
    return found


def end_orphans(pause=0.05, rounds=50):
    """Ends this process's children still alive and reaps the dead ones,
    until none is left or the rounds run out."""
    for _ in range(rounds):
        orphans = _children()
        if not orphans:
            return
        for pid, state in orphans:
            if state != "Z":
                try:
                    os.kill(pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
        time.sleep(pause)
