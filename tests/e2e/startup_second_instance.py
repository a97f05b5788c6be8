#!/usr/bin/python3
"""A second start ends at once, shows nothing and leaves the first running."""
import re

from program import TITLE_F8, run
from xdisplay import expect, holds_for, wait_until


def body(s):
    folder = s.install_app()
    first, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    wait_until(lambda: s.tray_icons() == 1, 10, "the first copy's tray icon did not appear")

    second = s.start_app(folder, tag="second")
    code = second.wait_exit(5)
    expect(code is not None, "the second copy was still running 5 s after its start")
    s.log(f"second copy ended with exit code {code}")

    titled = s.windows(re.escape(TITLE_F8))
    expect(len(titled) == 1, f"{len(titled)} windows carry the title {TITLE_F8!r}")
    expect(titled[0].id == window.id and window.viewable(), "the first copy's window is gone")
    others = [w for w in s.windows(r"Snapwick.*") if w.id != window.id]
    expect(not others, f"other windows of the program: {[w.title() for w in others]}")
    expect(s.tray_icons() == 1, f"{s.tray_icons()} tray icons after the second start")
    expect(holds_for(first.alive, 1.0), "the first copy ended after the second start")
    expect(len(s.prefix_processes("snapwick.exe")) == 1,
           f"snapwick.exe processes: {s.prefix_processes('snapwick.exe')}")


run("startup_second_instance", body, deadline=100)
