#!/usr/bin/python3
"""pic/ taken away, made read-only or replaced by a file while the program
runs (the shared cases of fault_cases.py): the presses make no file and no
shutter sound, nothing in the program's folder changes, and once pic/ is
back the next press makes good shots whose counter shows that the refused
presses used up theirs."""
from fault_cases import WineShutter, XDriver, expect_pic_folder_faults
from faults import honour_file_permissions, tree_digests
from program import run
from xdisplay import expect, wait_until


def body(s):
    honour_file_permissions(s)
    folder = s.install_app()
    shutter = WineShutter(folder)
    app, window = s.start_snapwick(folder)
    wait_until(lambda: app.pic.is_dir(), 5, "pic/ was not created")
    # wav/ is left unread: the watch on it is for the program's opens.
    expect_pic_folder_faults(XDriver(s, app, window, shutter=shutter), app, folder, skip=("wav",))
    expect(tree_digests(folder / "wav") == tree_digests(s.dist / "wav"), "the sound files changed")


run("fault_pic_folder", body, deadline=150)
