#!/usr/bin/python3
"""With F6 in set.ini, F6 makes shots and F8 does not."""
from program import run, settings_record
from shots import expect_hotkey_switched
from xdisplay import expect


def body(s):
    folder = s.install_app()
    (folder / "set.ini").write_bytes(settings_record(30, 0, 0x75, "F6"))
    app, _ = s.start_snapwick(folder)
    s.start_notepad()

    # F8 uses up no counter value: the first F6 shot is number 1.
    expect_hotkey_switched(s, app, "F8", "F6", 0.6)
    expect(app.alive(), "the program ended")


run("capture_custom_hotkey", body, deadline=120)
