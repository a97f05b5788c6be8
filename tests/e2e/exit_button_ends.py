#!/usr/bin/python3
"""The "Выход" button ends the program and takes its tray icon away."""
from program import TITLE_F8, run
from xdisplay import expect, wait_until


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: s.tray_icons() == 1, 10, "the tray icon did not appear")
    window.screenshot("before_exit.png")

    window.click_control("ExitButton")
    code = app.wait_exit(10)
    expect(code is not None, "the program was still running 10 s after the click on Выход")
    s.log(f"the program ended with exit code {code}")
    wait_until(lambda: s.tray_icons() == 0, 5, "the tray icon is still shown")
    expect(not s.windows(r"Snapwick.*"), "a window of the program is left")
    expect(not s.prefix_processes("snapwick.exe"), "a snapwick.exe process is left")

    # Nothing of the ended run stands in the way of the next start.
    again, window = s.start_snapwick(folder)
    expect(window.title() == TITLE_F8, f"title on the next start is {window.title()!r}")
    wait_until(lambda: s.tray_icons() == 1, 10, "no tray icon on the next start")
    expect(again.alive(), "the next start ended on its own")


run("exit_button_ends", body, deadline=100)
