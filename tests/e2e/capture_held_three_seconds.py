#!/usr/bin/python3
"""F8 held for 3 s at 1920x1080 with notepad in front: at least 19 whole
shots a second (the tick allows 20), numbered without a gap."""
import time

from program import run
from shots import SHOT_NAME, open_jpeg, shot_counter, wait_for_shots
from xdisplay import expect

HOLD = 3.0
LEAST_PER_SECOND = 19


def body(s):
    folder = s.install_app()
    app, _ = s.start_snapwick(folder)
    s.start_notepad()
    time.sleep(0.5)
    s.hold_key("F8", HOLD)
    names = wait_for_shots(app, timeout=30)
    expect(all(SHOT_NAME.fullmatch(n) for n in names), f"files in pic/ not named as shots: {names}")
    counters = [shot_counter(n) for n in names]
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}")
    rate = len(names) / HOLD
    s.log(f"{len(names)} shots from F8 held {HOLD:g} s: {rate:.2f} a second")
    expect(rate >= LEAST_PER_SECOND,
           f"{len(names)} shots in {HOLD:g} s is {rate:.2f} a second, not at least {LEAST_PER_SECOND}")
    for name in names:
        open_jpeg(app.pic / name)
    expect(app.alive(), "the program ended")


run("capture_held_three_seconds", body, deadline=150)
