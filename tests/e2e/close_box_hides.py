#!/usr/bin/python3
"""The window's close box hides the window; the program and its icon stay."""
from program import run
from xdisplay import expect, holds_for, wait_until


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: s.tray_icons() == 1, 10, "the tray icon did not appear")

    window.close_box()
    wait_until(lambda: not window.viewable(), 10, "the window is still shown after the close box")
    expect(not s.windows(r"Snapwick.*", visible_only=True), "a window of the program is still shown")
    expect(holds_for(app.alive, 2.0), f"the program ended (exit code {app.proc.returncode})")
    expect(window.exists(), "the window was destroyed, not hidden")
    expect(not window.viewable(), "the window came back by itself")
    expect(s.tray_icons() == 1, f"{s.tray_icons()} tray icons while hidden")


run("close_box_hides", body, deadline=100)
