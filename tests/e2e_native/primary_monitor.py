#!/usr/bin/python3
"""With two monitors side by side, a 1280x720 primary one at the top left
of a 1920x1080 screen and a second one right of it, a shot copies the
primary monitor alone: 1280x720, showing the screen's top left part. The
monitors are made both ways that RandR knows: as monitors of their own
(xrandr --setmonitor, as a split or tiled display gives them) and as the
primary output's mode, smaller than the screen."""
import re

from PIL import Image

from native import run
from shots import check_against_pattern, check_against_screen, make_test_pattern, open_jpeg, wait_for_shots
from snapwick import press_until_new_file
from xdisplay import SCREEN_H, SCREEN_W, expect

PRIMARY = (1280, 720)
SECOND = "640/170x1080/286+1280+0"


def monitors_of_their_own(s):
    s.xrandr("--setmonitor", "*left", "1280/339x720/190+0+0", "screen")
    s.xrandr("--setmonitor", "right", SECOND, "none")


def undo_monitors(s):
    s.xrandr("--delmonitor", "right")
    s.xrandr("--delmonitor", "left")


def primary_output_mode(s):
    s.use_mode(*PRIMARY, framebuffer=(SCREEN_W, SCREEN_H))
    s.xrandr("--setmonitor", "right", SECOND, "none")


def undo_output_mode(s):
    s.xrandr("--delmonitor", "right")
    s.use_mode(SCREEN_W, SCREEN_H)


CASES = [
    ("monitors of their own", monitors_of_their_own, undo_monitors),
    ("primary output's mode", primary_output_mode, undo_output_mode),
]


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))

    def check(case, make, undo):
        make(s)
        try:
            monitors = s.xrandr("--listmonitors")
            s.log(monitors.strip().replace("\n", "; "))
            expect("Monitors: 2" in monitors and re.search(r"\d: \+?\*\S+ 1280/\d+x720/\d+\+0\+0 ", monitors),
                   f"{case}: the test could not make its two monitors: {monitors!r}")
            expect(s.root_size() == (SCREEN_W, SCREEN_H), f"{case}: the screen is {s.root_size()}")

            folder = s.install_app(case.replace(" ", "_").replace("'", ""))
            app, window = s.start_snapwick(folder)
            press_until_new_file(s, window, "F8", app.pic)
            names = wait_for_shots(app)
            screen = Image.open(s.screenshot(f"screen_{len(names)}.png")).convert("RGB")
            covered = s.visible_window_rects()
            for name in names:
                img = open_jpeg(app.pic / name, size=PRIMARY)
                tiles = check_against_pattern(img, covered, f"{case}: {name}")
                expect(tiles >= 6, f"{case}: only {tiles} background tiles left uncovered to compare")
                check_against_screen(img, screen, f"{case}: {name}")
            s.end_app(app)
        finally:
            undo(s)
    s.each_case(CASES, check)


run("primary_monitor", body, deadline=90)
