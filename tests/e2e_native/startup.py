#!/usr/bin/python3
"""A fresh copy starts with the default hotkey in its title, makes pic/
beside itself (and no set.ini), shows that folder's real path, the default
settings, its icon in the tray, and its window centred on the screen."""
import os

from native import elided_path_shown, run
from snapwick import TITLE_F8, client_size
from xdisplay import SCREEN_H, SCREEN_W, expect, wait_until


def body(s):
    # Reached through a link, so that the path shown must be the real one.
    folder = s.install_app("real", "Snapwick")
    (s.tmp / "apps" / "linked").symlink_to(folder.parent)
    linked = s.tmp / "apps" / "linked" / "Snapwick"
    expect(not (folder / "pic").exists(), "the fresh copy already has pic/")
    app, window = s.start_snapwick(linked)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}, not {TITLE_F8!r}")
    wait_until(lambda: (folder / "pic").is_dir(), 5, f"{folder / 'pic'} was not created")
    expect(not (folder / "set.ini").exists(), "start-up wrote set.ini")
    strays = [p for p in s.tmp.rglob("pic") if p != folder / "pic"]
    expect(not strays, f"pic/ made elsewhere too: {strays}")

    real = os.path.realpath(folder / "pic")
    shown = wait_until(lambda: window.control_text("ShotFolderLabel"), 5, "the folder label is empty")
    s.log(f"the folder label shows {shown!r}")
    expect(shown.endswith("/pic") and elided_path_shown(shown, real),
           f"the folder label shows {shown!r}, not the real path {real!r}")
    expect(window.control_text("QualityCombo") == "80",
           f"the quality shown is {window.control_text('QualityCombo')!r}, not the default 80")
    expect(window.control_checked("SoundCheck"), "sound effects are not ticked by default")
    expect(window.control_text("HotkeyBox") == "", "the hotkey box names a key before any was pressed")
    window.screenshot("window.png")

    x, y, w, h, _ = window.info()
    expect((w, h) == client_size(), f"client area is {w}x{h}, not {client_size()}")
    # Centred with its frame: the title bar puts the client a little lower.
    cx, cy = x + w / 2, y + h / 2
    expect(abs(cx - SCREEN_W / 2) <= 8 and 0 <= cy - SCREEN_H / 2 <= 24,
           f"window is not centred: client centre at {cx:.0f},{cy:.0f}")
    wait_until(s.tray_icon, 10, "no icon of the program in the tray")
    expect(app.alive(), "the program ended on its own")


run("startup", body, deadline=90)
