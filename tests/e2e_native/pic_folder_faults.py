#!/usr/bin/python3
"""pic/ taken away, made read-only (the program runs without root's file
override, as a user's would) or replaced by a file while the program runs
(the shared cases of tests/e2e/fault_cases.py): F8 makes no file, no
partial file and no shutter sound, nothing in the program's folder changes,
the program goes on, and once pic/ is back the next press makes whole shots
whose counter shows that the refused presses used up theirs."""
from native import run  # first: it puts the shared harness on the path
from fault_cases import CountedShutter, XDriver, expect_pic_folder_faults
from faults import tree_digests
from xdisplay import expect, wait_until


def body(s):
    sound = s.start_sound_server()
    folder = s.install_app()
    app, window = s.start_snapwick(folder, honour_permissions=True)
    wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
    # F8 goes to another program: no key capture, so every sound is a shutter.
    term, _ = s.start_terminal()
    driver = XDriver(s, app, window, front=term, shutter=CountedShutter(sound))
    expect_pic_folder_faults(driver, app, folder)
    expect(tree_digests(folder / "wav") == tree_digests(s.dist / "wav"), "the sound files changed")


run("pic_folder_faults", body, deadline=120)
