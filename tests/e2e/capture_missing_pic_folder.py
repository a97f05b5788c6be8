#!/usr/bin/python3
"""A press while pic/ is gone makes no file and no crash; once pic/ is back
the next shot carries a later counter than the failed ones used up."""
import datetime

from program import run
from shots import check_shot_names, open_jpeg, wait_for_shots
from xdisplay import expect, holds_for, wait_until


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
    app.pic.rmdir()
    window.focus()

    s.hold_key("F8", 0.5)
    expect(holds_for(lambda: app.alive() and not app.pic.exists(), 1.5),
           "the press without pic/ " + ("recreated pic/" if app.alive() else "ended the program"))
    expect(window.viewable(), "the window went away")

    app.pic.mkdir()
    before = datetime.datetime.now()
    s.hold_key("F8", 0.3)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    counters = check_shot_names(names, before, after)
    s.log(f"shots after pic/ came back: {names}")
    expect(min(counters) > 1, f"the first shot after the failed press is number {min(counters)}; "
                              "the failed press used up no counter value")
    open_jpeg(app.pic / names[0])
    expect(app.alive(), "the program ended")


run("capture_missing_pic_folder", body, deadline=120)
