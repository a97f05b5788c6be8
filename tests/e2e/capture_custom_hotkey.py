#!/usr/bin/python3
"""With F6 in set.ini, F6 makes shots and F8 does not."""
import datetime

from harness import expect, holds_for, run, settings_record
from shots import check_shot_names, open_jpeg, wait_for_shots


def body(s):
    folder = s.install_app()
    (folder / "set.ini").write_bytes(settings_record(30, 0, 0x75, "F6"))
    app, _ = s.start_snapwick(folder)
    s.start_notepad()

    s.hold_key("F8", 0.6)
    expect(holds_for(lambda: not app.shots(), 1.5), f"F8 made a shot: {app.shots()}")

    before = datetime.datetime.now()
    s.hold_key("F6", 0.6)
    after = datetime.datetime.now()
    names = wait_for_shots(app)
    counters = check_shot_names(names, before, after)
    # F8 used up no counter value: the first F6 shot is number 1.
    expect(counters == list(range(1, len(names) + 1)), f"counters are {counters}")
    open_jpeg(app.pic / names[0])
    expect(app.alive(), "the program ended")


run("capture_custom_hotkey", body, deadline=120)
