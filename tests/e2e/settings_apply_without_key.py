#!/usr/bin/python3
"""Apply before any key was pressed in the window only says that no hotkey was
chosen: the caption stays and nothing is saved."""
from harness import CMD3_APPLY, TITLE_F8, expect, run, wait_until


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    window.click_control(CMD3_APPLY)
    message = s.wait_window(r"Snapwick", timeout=10, what="no message box titled 'Snapwick' after Apply")
    s.screenshot("message.png")
    message.close_box()
    wait_until(lambda: not message.viewable(), 10, "the message box did not close")
    expect(window.title() == TITLE_F8, f"the title changed to {window.title()!r}")
    expect(not (folder / "set.ini").exists(), "Apply without a key wrote set.ini")
    expect(app.alive(), "the program ended")


run("settings_apply_without_key", body, deadline=100)
