#!/usr/bin/python3
"""Hidden by its close box, the program still makes shots."""
import datetime

from program import run
from shots import check_shot_names, open_jpeg, wait_for_shots
from xdisplay import expect, wait_until


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    window.close_box()
    wait_until(lambda: not window.viewable(), 10, "the close box did not hide the window")
    s.start_notepad()

    before = datetime.datetime.now()
    s.hold_key("F8", 0.4)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    counters = check_shot_names(names, before, after)
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}")
    open_jpeg(app.pic / names[0])
    expect(not window.viewable(), "a shot showed the window again")
    expect(app.alive(), "the program ended")


run("capture_while_hidden", body, deadline=120)
