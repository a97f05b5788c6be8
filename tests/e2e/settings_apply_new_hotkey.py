#!/usr/bin/python3
"""F5 pressed in the window and applied becomes the hotkey: the caption names
it, set.ini holds it, F5 makes shots and F8 no longer does."""
import datetime

from harness import CMD3_APPLY, TITLE_F8, expect, holds_for, run, settings_record, wait_until
from shots import check_shot_names, open_jpeg, wait_for_shots

TITLE_F5 = "Snapwick (HotKey:F5)"


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    window.focus()
    s.hold_key("F5", 0.1)
    window.click_control(CMD3_APPLY)
    wait_until(lambda: window.title() == TITLE_F5, 5,
               f"after Apply the title is {window.title()!r}, not {TITLE_F5!r}")
    ini = folder / "set.ini"
    want = settings_record(80, 1, 0x74, "F5")
    wait_until(lambda: ini.exists() and ini.read_bytes() == want, 5,
               f"set.ini holds {ini.read_bytes().hex(' ') if ini.exists() else 'nothing'}, "
               f"not {want.hex(' ')}")
    window.screenshot("applied.png")

    s.start_notepad()
    s.hold_key("F8", 0.5)
    expect(holds_for(lambda: not app.shots(), 1.5), f"F8 still made a shot: {app.shots()}")
    before = datetime.datetime.now()
    s.hold_key("F5", 0.4)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    counters = check_shot_names(names, before, after)
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}")
    open_jpeg(app.pic / names[0])
    expect(app.alive(), "the program ended")


run("settings_apply_new_hotkey", body, deadline=120)
