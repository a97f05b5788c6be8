#!/usr/bin/python3
"""The screen's size changes while the program runs (RandR mode switches on
the one output, as a user picks another resolution): the next shot has the
new size and shows the screen, and F8 held through a series of switches
leaves the program running and nothing in pic/ but whole JPEGs of the sizes
the screen had, numbered with no repeat."""
import time

from PIL import Image

from native import run
from shots import (SHOT_NAME, check_against_pattern, check_against_screen, make_test_pattern, open_jpeg,
                   shot_counter, wait_for_shots)
from snapwick import press_until_new_file
from xdisplay import SCREEN_H, SCREEN_W, ScenarioFailed, expect

SIZES = [(1280, 720), (1600, 900), (SCREEN_W, SCREEN_H)]


def shoot(s, app, window, size, what):
    """One press on a screen of size; the new shots must have that size."""
    before = set(app.shots())
    press_until_new_file(s, window, "F8", app.pic)
    new = [n for n in wait_for_shots(app) if n not in before]
    screen = Image.open(s.screenshot(f"screen_{size[0]}x{size[1]}.png")).convert("RGB")
    expect(screen.size == size, f"{what}: the screenshot is {screen.size}, the screen not {size}")
    covered = s.visible_window_rects()
    for name in new:
        img = open_jpeg(app.pic / name, size=size)
        tiles = check_against_pattern(img, covered, f"{what}: {name}")
        expect(tiles >= 6, f"{what}: only {tiles} background tiles left uncovered to compare")
        check_against_screen(img, screen, f"{what}: {name}")
    return new


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    shoot(s, app, window, (SCREEN_W, SCREEN_H), "before any change")
    for size in SIZES:
        s.use_mode(*size)
        s.log(f"the screen is {s.root_size()}")
        shoot(s, app, window, size, f"after the switch to {size[0]}x{size[1]}")
        expect(app.alive(), f"the program ended after the switch to {size}")

    # The copy may meet the screen in the middle of a switch.
    window.focus()
    s.x(["xdotool", "keydown", "F8"])
    try:
        for size in SIZES * 3:
            s.use_mode(*size)
            time.sleep(0.1)
    finally:
        s.x(["xdotool", "keyup", "F8"])
    names = wait_for_shots(app)
    expect(app.alive(), f"the program ended (status {app.proc.returncode}) while the screen switched sizes")
    expect(all(SHOT_NAME.fullmatch(n) for n in names), f"files in pic/ that are not shots: {names}")
    counters = [shot_counter(n) for n in names]
    expect(len(set(counters)) == len(counters), f"a counter was used twice: {counters}")
    for name in names:
        try:
            with Image.open(app.pic / name) as img:
                img.load()
                got = (img.format, img.size)
        except OSError as e:
            raise ScenarioFailed(f"{name} is not a whole image: {e}")
        expect(got[0] == "JPEG" and got[1] in SIZES,
               f"{name} is a {got[0]} of {got[1]}, not a JPEG of one of the sizes {SIZES}")
    s.log(f"{len(names)} shots in all, counters {counters[0]}..{counters[-1]}")


run("screen_size_change", body, deadline=120)
