#!/usr/bin/python3
"""The program killed outright (kill -9 of its Wine process) in the middle of
a burst of 3840x2160 shots, ten times over: no name of a shot ever holds a
truncated JPEG (every file under a shot's name decodes whole), whatever a
write cut short left is a hidden partial file, and the next start removes
every one of them."""
import os
import random
import re
import signal
import time
from pathlib import Path

import xdisplay
from program import SnapwickScenario
from shots import SHOT_NAME, open_jpeg, wait_for_shots
from xdisplay import expect, wait_until

ROUNDS = 10
SIZE = (3840, 2160)
PARTIAL = re.compile(r"\.snapwick-[0-9a-f]{16}\.part")


class Screen4K(SnapwickScenario):
    def __init__(self, name):
        super().__init__(name)
        self.screen_size = SIZE


def checked_shots(app):
    """The names of the shots in pic/, partial files left out."""
    return [n for n in app.shots() if SHOT_NAME.fullmatch(n)]


def check_folder(pic, checked):
    """Decodes every shot not decoded before; returns the partial files."""
    partial = []
    for path in sorted(pic.iterdir()):
        if SHOT_NAME.fullmatch(path.name):
            if path.name not in checked:
                open_jpeg(path, SIZE)
                checked.add(path.name)
        else:
            expect(PARTIAL.fullmatch(path.name), f"{path.name} in pic/ is neither a shot nor a partial file")
            partial.append(path.name)
    return partial


def body(s):
    folder = s.install_app()
    notepad = None
    checked = set()
    left = []
    rng = random.Random(20261207)
    for round_ in range(1, ROUNDS + 1):
        app, _ = s.start_snapwick(folder)
        cmdline = Path(f"/proc/{app.proc.pid}/cmdline").read_bytes().replace(b"\0", b" ")
        expect(b"snapwick.exe" in cmdline, f"pid {app.proc.pid} is not snapwick.exe: {cmdline!r}")
        stale = [p.name for p in app.pic.iterdir() if PARTIAL.fullmatch(p.name)] if app.pic.is_dir() else []
        expect(not stale, f"round {round_}: partial files still there after the start: {stale}")
        if notepad is None:
            notepad = s.start_notepad()
        notepad.focus()
        # Past the start-up's timed copies of the screen, so that the
        # shots come one a tick.
        time.sleep(1.5)
        before = len(checked_shots(app))
        s.x(["xdotool", "keydown", "F8"])
        try:
            wait_until(lambda: len(checked_shots(app)) >= before + 3, 20,
                       f"round {round_}: F8 held made no burst of shots")
            # Somewhere in the burst, inside a shot's write as often as
            # chance has it.
            time.sleep(rng.uniform(0.0, 0.3))
            os.kill(app.proc.pid, signal.SIGKILL)
        finally:
            s.x(["xdotool", "keyup", "F8"])
        expect(app.wait_exit(20) is not None, f"round {round_}: the killed program did not end")
        partial = check_folder(app.pic, checked)
        left += partial
        s.log(f"round {round_}: {len(checked)} whole shots so far; partial files left: {partial}")

    # The next start clears what the kills left, and shots go on.
    app, window = s.start_snapwick(folder)
    wait_until(lambda: not any(PARTIAL.fullmatch(p.name) for p in app.pic.iterdir()), 10,
               "the partial files stayed after the start")
    window.focus()
    s.hold_key("F8", 0.3)
    names = wait_for_shots(app, timeout=30)
    check_folder(app.pic, checked)
    s.log(f"{len(left)} partial files left by {ROUNDS} kills, all removed at the next start; "
          f"{len(names)} whole shots in the end")
    expect(app.alive(), "the program ended")


xdisplay.run("crash_mid_burst", body, 400, Screen4K)
