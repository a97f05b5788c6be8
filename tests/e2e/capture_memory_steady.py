#!/usr/bin/python3
"""Many shots do not make the process grow: every shot gives back its screen
device context and its file, and the one bitmap and encoder buffer are
reused. A 1920x1080 bitmap kept per shot would be 8 MB each."""
from program import run
from shots import open_jpeg, wait_for_shots
from xdisplay import expect

MB = 1024 * 1024


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    window.focus()

    s.hold_key("F8", 1.0)
    warm = len(wait_for_shots(app))
    base = app.private_bytes()
    s.hold_key("F8", 4.0)
    names = wait_for_shots(app, timeout=30)
    grown = app.private_bytes() - base
    more = len(names) - warm
    s.log(f"{warm} shots to warm up, then {more} more; memory grew by {grown / MB:.1f} MB")
    expect(more >= 20, f"only {more} shots from F8 held for 4 s")
    expect(grown < 24 * MB, f"memory grew by {grown / MB:.1f} MB over {more} shots")
    open_jpeg(app.pic / names[-1])
    expect(app.alive(), "the program ended")


run("capture_memory_steady", body, deadline=150)
