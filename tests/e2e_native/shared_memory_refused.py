#!/usr/bin/python3
"""The program in an IPC namespace of its own (as in a container, or with
the X server on another machine over ssh -X): the server cannot attach the
program's shared memory, so the shots go through the plain copy. F8 held
with another program in front still gives whole shots numbered 1..n that
show the screen as it is, and nothing is said about it."""
import shutil

from native import run
from shots import expect_held_key_shots, make_test_pattern
from xdisplay import expect

ERRORS = ("BadAccess", "BadValue", "X Error", "MIT-SHM")


def body(s):
    unshare = shutil.which("unshare")
    expect(unshare, "unshare (util-linux) is missing")
    s.paint_root(make_test_pattern(s.out / "pattern.png"))
    folder = s.install_app()
    app, window = s.start_snapwick(folder, wrapper=(unshare, "--ipc"))
    s.start_terminal()
    expect_held_key_shots(s, app)
    expect(app.alive(), "the program ended")
    said = app.log_path.read_text(errors="replace")
    expect(not any(e in said for e in ERRORS), f"the program printed X errors: {said!r}")


run("shared_memory_refused", body, deadline=90)
