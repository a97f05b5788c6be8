#!/usr/bin/python3
"""F8 held for about a second, with notepad in front, makes consecutive shots
of the whole screen."""
import datetime
import shutil

from PIL import Image

from program import run
from shots import (check_against_pattern, check_against_screen, check_shot_names, make_test_pattern,
                   open_jpeg, shot_time, wait_for_shots)
from xdisplay import expect


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, _ = s.start_snapwick(folder)
    s.start_notepad()

    before = datetime.datetime.now()
    s.hold_key("F8", 1.2)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    s.screenshot("screen.png")
    covered = s.visible_window_rects()
    s.log(f"{len(names)} shots: {names[0]} .. {names[-1]}; windows at {covered}")

    counters = check_shot_names(names, before, after)
    expect(len(names) >= 3, f"only {len(names)} shot(s) from F8 held for 1.2 s")
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}, not 1..{len(names)}")
    times = [shot_time(n) for n in names]
    expect(times == sorted(times), "a later counter carries an earlier time")

    shutil.copy2(app.pic / names[-1], s.out / names[-1])
    screen = Image.open(s.out / "screen.png").convert("RGB")
    for name in names:
        img = open_jpeg(app.pic / name)
        tiles = check_against_pattern(img, covered, name)
        expect(tiles >= 12, f"only {tiles} background tiles left uncovered to compare")
        check_against_screen(img, screen, name)
    expect(app.alive(), "the program ended")


run("capture_held_key", body, deadline=120)
