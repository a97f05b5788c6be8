#!/usr/bin/python3
"""F8 held for about a second while xterm has the focus: several whole
1920x1080 shots numbered 1..n with no gap, each showing the screen as it is
(the painted root window around the windows), and xterm still gets the key
(its F8 escape sequence, repeated) and keeps the focus."""
import datetime

from PIL import Image

from native import run
from shots import (check_against_pattern, check_against_screen, check_shot_names, make_test_pattern,
                   open_jpeg, shot_time, wait_for_shots)
from xdisplay import expect

F8_SEQUENCE = b"\x1b[19~"


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, window = s.start_snapwick(folder)

    term, typed = s.start_terminal()

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
    screen = Image.open(s.out / "screen.png").convert("RGB")
    for name in names:
        img = open_jpeg(app.pic / name)
        tiles = check_against_pattern(img, covered, name)
        expect(tiles >= 12, f"only {tiles} background tiles left uncovered to compare")
        check_against_screen(img, screen, name)

    got = typed.read_bytes() if typed.exists() else b""
    expect(got.count(F8_SEQUENCE) >= 2 and not got.replace(F8_SEQUENCE, b""),
           f"xterm received {got!r}, not F8's {F8_SEQUENCE!r} repeated while it was held")
    expect(term.has_focus(), "xterm lost the focus to the program")
    expect(window.control_text("HotkeyBox") == "", "the program captured F8 as if it had the focus")
    expect(app.alive(), "the program ended")


run("held_key_over_xterm", body, deadline=90)
