#!/usr/bin/python3
"""F8 held for about a second, with notepad in front, makes consecutive shots
of the whole screen."""
from program import run
from shots import expect_held_key_shots, make_test_pattern
from xdisplay import expect


def body(s):
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, _ = s.start_snapwick(folder)
    s.start_notepad()
    expect_held_key_shots(s, app)
    expect(app.alive(), "the program ended")


run("capture_held_key", body, deadline=120)
