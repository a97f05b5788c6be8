#!/usr/bin/python3
"""A fresh copy starts with the default hotkey in its title and makes pic/."""
from program import TITLE_F8, client_size, run
from xdisplay import SCREEN_H, SCREEN_W, expect, wait_until


def body(s):
    folder = s.install_app()
    expect(not (folder / "pic").exists(), "the fresh copy already has pic/")
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5,
               f"title is {window.title()!r}, not {TITLE_F8!r}")
    expect((folder / "pic").is_dir(), f"{folder / 'pic'} was not created")
    expect(not (folder / "set.ini").exists(), "start-up wrote set.ini")
    window.screenshot("window.png")

    x, y, w, h, _ = window.info()
    cw, ch = client_size()
    expect((w, h) == (cw, ch), f"client area is {w}x{h}, not {cw}x{ch}")
    # Centred with its frame; the title bar puts the client a little lower.
    cx, cy = x + w / 2, y + h / 2
    expect(abs(cx - SCREEN_W / 2) <= 8 and abs(cy - SCREEN_H / 2) <= 24,
           f"window is not centred: client centre at {cx:.0f},{cy:.0f}")
    expect(app.alive(), "the program ended on its own")


run("startup_fresh_copy", body, deadline=100)
