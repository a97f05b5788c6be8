#!/usr/bin/python3
"""Apply before any key was pressed in the window only says that no hotkey was
chosen: the caption stays and nothing is saved, also when the quality and the
sound box were changed, and also over an existing set.ini."""
import os

from pictures import check_letters_drawn, window_image
from program import TITLE_F8, exit_with_button, pick_combo_item, run, settings_record
from xdisplay import eventually, expect, wait_until

MESSAGE = "Горячая клавиша не выбрана"
QUALITY_ITEMS = ["100", "90", "80", "70", "60", "50", "40", "30", "20", "10"]


def check_message_box(message, name):
    """The information icon and the message's Russian text beside it."""
    img = window_image(message, name)
    w, h = img.size
    px = img.load()
    blue = [(i, j) for j in range(h) for i in range(w // 3)
            if px[i, j][2] >= 120 and px[i, j][2] - px[i, j][0] >= 60]
    expect(len(blue) >= 100, f"no information icon in the message box ({len(blue)} blue pixels)")
    top, bottom = min(j for _, j in blue), max(j for _, j in blue)
    right = max(i for i, _ in blue)
    check_letters_drawn(img, (right + 4, top, w - right - 6, bottom - top + 1), MESSAGE, "the message")


def apply_without_key(s, window, name):
    """Changes quality and sound with the mouse only, clicks Apply and
    closes the message box that must come."""
    pick_combo_item(s, window, "QualityCombo", QUALITY_ITEMS.index("30"), len(QUALITY_ITEMS))
    window.click_control("SoundCheck")
    window.click_control("ApplyButton")
    message = s.wait_window(r"Snapwick", timeout=10, what="no message box titled 'Snapwick' after Apply")
    s.screenshot(f"{name}.png")
    eventually(lambda: check_message_box(message, f"{name}_box.png"), 10)
    message.close_box()
    wait_until(lambda: not message.viewable(), 10, "the message box did not close")


def body(s):
    folder = s.install_app()
    ini = folder / "set.ini"
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title is {window.title()!r}")
    apply_without_key(s, window, "message")
    expect(window.title() == TITLE_F8, f"the title changed to {window.title()!r}")
    expect(not ini.exists(), "Apply without a key wrote set.ini")
    expect(app.alive(), "the program ended")

    # Over a file of earlier settings: not a byte and not its time change.
    exit_with_button(app, window)
    record = settings_record(70, 0, 0x77, "F8")
    ini.write_bytes(record)
    os.utime(ini, (1_000_000_000, 1_000_000_000))
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == TITLE_F8, 5, f"title with set.ini of F8 is {window.title()!r}")
    apply_without_key(s, window, "message_over_file")
    expect(window.title() == TITLE_F8, f"the title changed to {window.title()!r}")
    expect(ini.read_bytes() == record, f"Apply without a key changed set.ini to {ini.read_bytes().hex(' ')}")
    expect(ini.stat().st_mtime == 1_000_000_000, "Apply without a key rewrote set.ini")
    expect(app.alive(), "the program ended")


run("settings_apply_without_key", body, deadline=120)
