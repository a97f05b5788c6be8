#!/usr/bin/python3
"""F5 pressed in the window shows in the hotkey box and, applied, becomes the
hotkey: the caption names it, set.ini holds it, F5 makes shots and F8 no
longer does, and the next start takes F5 from set.ini."""
from program import TITLE_F8, capture_key, exit_with_button, hotkey_box_ink, run, settings_record
from shots import expect_hotkey_switched
from xdisplay import expect, holds_for, wait_until

TITLE_F5 = "Snapwick (HotKey:F5)"
TITLE_F5_NEXT_START = "Snapwick 1.1 (HotKey:F5)"


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    expect(not hotkey_box_ink(window, "before.png"), "the hotkey box shows red text before any key")

    # The box names the key in dark red: two characters. Which ones, the
    # caption tells after Apply, for it is made from the box's text.
    capture_key(s, window, "F5")

    window.click_control("ApplyButton")
    wait_until(lambda: window.title() == TITLE_F5, 5,
               f"after Apply the title is {window.title()!r}, not {TITLE_F5!r}")
    ini = folder / "set.ini"
    want = settings_record(80, 1, 0x74, "F5")
    wait_until(lambda: ini.exists() and ini.read_bytes() == want, 5,
               f"set.ini holds {ini.read_bytes().hex(' ') if ini.exists() else 'nothing'}, "
               f"not {want.hex(' ')}")
    window.screenshot("applied.png")

    notepad = s.start_notepad()
    expect_hotkey_switched(s, app, "F8", "F5", 0.5)
    expect(app.alive(), "the program ended")

    # The next start reads F5 back from set.ini.
    exit_with_button(app, window)
    expect(ini.read_bytes() == want, "ending the program changed set.ini")
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F5_NEXT_START, 5,
               f"on the next start the title is {window.title()!r}, not {TITLE_F5_NEXT_START!r}")
    expect(ini.read_bytes() == want, "the next start changed set.ini")
    shots_so_far = len(app.shots())
    # The new window may still be taking the focus from notepad as it
    # appears: give notepad the focus again before each try.
    for attempt in range(3):
        notepad.focus()
        wait_until(notepad.has_focus, 5, "notepad did not get the focus")
        s.hold_key("F5", 0.4)
        if not holds_for(lambda: len(app.shots()) == shots_so_far, 4.0):
            break
        s.log(f"try {attempt + 1}: no shot from F5 with notepad in front")
    expect(len(app.shots()) > shots_so_far, "on the next start F5 made no shot")


run("settings_apply_new_hotkey", body, deadline=150)
