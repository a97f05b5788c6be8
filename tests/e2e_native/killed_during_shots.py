#!/usr/bin/python3
"""The program killed (SIGKILL, as by a crash or the OOM killer) in the
middle of F8 bursts on a 3840x2160 screen, ten times: every file that has a
shot's name is a whole JPEG of the screen (each is decoded), nothing else is
in pic/ once the next copy has started, and each next copy starts as if
nothing had happened and takes the next free counter."""
import random
import signal
import time

from PIL import Image

from native import run
from shots import SHOT_NAME, make_detail_pattern, open_jpeg
from xdisplay import expect, wait_until

SIZE = (3840, 2160)
ROUNDS = 10


# Shots already decoded whole, by name, with their size then: a shot is
# decoded again only if it has changed since.
checked = {}


def check_pic(s, app, what):
    names = sorted(p.name for p in app.pic.iterdir())
    strays = [n for n in names if not SHOT_NAME.fullmatch(n)]
    expect(not strays, f"{what}: files other than shots in pic/: {strays}")
    for name in names:
        size = (app.pic / name).stat().st_size
        if checked.get(name) != size:
            open_jpeg(app.pic / name, size=SIZE)
            checked[name] = size
    return names


def body(s):
    detail = make_detail_pattern(s.out / "detail-small.png")
    # Detail all over the screen, so that each shot is a large file whose
    # writing takes long enough to be cut into.
    with Image.open(detail) as small:
        small.resize(SIZE).save(s.out / "detail.png")
    s.paint_root(s.out / "detail.png")
    folder = s.install_app()
    rng = random.Random(8)
    shots = []
    for round_ in range(ROUNDS):
        app, window = s.start_snapwick(folder, tag=f"snapwick-{round_}")
        # The start made pic/ ready: what the kill before left is gone.
        wait_until(lambda: app.pic.is_dir(), 10, "pic/ was not made")
        check_pic(s, app, f"round {round_}, after the start")
        before = set(app.shots())
        s.x(["xdotool", "keydown", "F8"])
        try:
            wait_until(lambda: set(app.shots()) - before, 15, "F8 held made no shot")
            # Somewhere in the burst, between two shots or inside one.
            time.sleep(rng.uniform(0.05, 0.6))
            app.proc.send_signal(signal.SIGKILL)
            app.proc.wait(10)
        finally:
            s.x(["xdotool", "keyup", "F8"])
        names = check_pic(s, app, f"round {round_}, after the kill")
        s.log(f"round {round_}: {len(set(names) - before)} whole shots before the kill")
        shots = names
    app, window = s.start_snapwick(folder, tag="snapwick-last")
    wait_until(lambda: app.alive() and app.pic.is_dir(), 10, "the last copy did not start")
    final = check_pic(s, app, "after the last start")
    expect(final == shots, f"the last start changed the shots: {sorted(set(shots) ^ set(final))}")
    expect(len(final) >= ROUNDS, f"only {len(final)} shots in {ROUNDS} bursts")
    s.end_app(app)


run("killed_during_shots", body, deadline=420, screen_size=SIZE)
