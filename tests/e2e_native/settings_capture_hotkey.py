#!/usr/bin/python3
"""Apply before any key is released in the window only says, in a message
box, that no hotkey was chosen: the title, set.ini (not a byte, not its
time) and the hotkey stay, though quality and sound were changed in the
panel. F6 released in the focused window is then named in the hotkey box,
and Apply makes it the hotkey with the panel's quality and sound: set.ini's
exact bytes, the title, F6 shoots and F8 no longer does."""
import os

from native import run  # first: it puts the shared harness on the path
from shots import expect_hotkey_switched
from snapwick import TITLE_F8, pick_combo_item, press_in, settings_record
from xdisplay import expect, holds_for, wait_until

MESSAGE = "Горячая клавиша не выбрана"
QUALITY_ITEMS = ["100", "90", "80", "70", "60", "50", "40", "30", "20", "10"]
OLD_RECORD = settings_record(70, 0, 0x77, "F8")


def message_box(s, app):
    """The message box's window and its accessible texts and OK button."""
    a11y = s.accessibility()
    box = s.wait_window(r"Snapwick", timeout=10, what="no window titled 'Snapwick' after Apply")
    expect(s.window_pid(box) == app.proc.pid, "the window titled 'Snapwick' is not the program's")
    alert = a11y.window_of(app.proc.pid, "Snapwick")
    parts = [(a11y.role_name(o), a11y.text(o), o) for o in a11y.descendants(alert)]
    texts = [text for role, text, _ in parts if role == "label"]
    buttons = [o for role, text, o in parts if role == "push button"]
    return box, a11y.role_name(alert), texts, buttons


def click_accessible(s, obj):
    x, y, w, h = s.accessibility().extents(obj)
    s.move_pointer(x + w // 2, y + h // 2)
    s.x(["xdotool", "click", "1"])


def body(s):
    folder = s.install_app()
    ini = folder / "set.ini"
    ini.write_bytes(OLD_RECORD)
    os.utime(ini, (1_000_000_000, 1_000_000_000))
    app, window = s.start_snapwick(folder)
    expect(window.title() == TITLE_F8, f"the title is {window.title()!r}")
    expect(window.control_text("HotkeyBox") == "", "the hotkey box names a key before any was released")

    pick_combo_item(s, window, "QualityCombo", QUALITY_ITEMS.index("30"), len(QUALITY_ITEMS))
    window.click_control("SoundCheck")
    wait_until(lambda: window.control_checked("SoundCheck"), 10, "a click did not check the sound box")
    window.click_control("ApplyButton")
    box, role, texts, buttons = message_box(s, app)
    expect(role == "alert message" and texts == [MESSAGE] and len(buttons) == 1,
           f"after Apply with no key: a {role!r} saying {texts} with {len(buttons)} button(s), "
           f"not an alert saying {MESSAGE!r} with one button")
    click_accessible(s, buttons[0])
    wait_until(lambda: not box.viewable(), 10, "the message box did not close on its button")
    expect(holds_for(lambda: window.title() == TITLE_F8, 1.0), f"the title became {window.title()!r}")
    expect(ini.read_bytes() == OLD_RECORD, f"Apply with no key wrote set.ini: {ini.read_bytes().hex(' ')}")
    expect(ini.stat().st_mtime == 1_000_000_000, "Apply with no key rewrote set.ini")
    expect(not (folder / "set.ini.new").exists(), "Apply with no key left set.ini.new")
    expect(app.alive(), "the program ended with the message box")

    press_in(s, window, "F6", 0.05)
    wait_until(lambda: window.control_text("HotkeyBox") == "F6", 10,
               f"after F6 the hotkey box shows {window.control_text('HotkeyBox')!r}")
    window.click_control("ApplyButton")
    title = "Snapwick (HotKey:F6)"
    wait_until(lambda: window.title() == title, 10, f"after Apply the title is {window.title()!r}, not {title!r}")
    want = settings_record(30, 1, 0x75, "F6")
    wait_until(lambda: ini.read_bytes() == want, 10,
               f"set.ini holds {ini.read_bytes().hex(' ')}, not {want.hex(' ')}")
    expect(not s.windows(r"Snapwick", visible_only=True), "Apply with F6 showed a message box")

    expect_hotkey_switched(s, app, "F8", "F6", 0.3)
    expect(app.alive(), "the program ended")
    s.end_app(app)


run("settings_capture_hotkey", body, deadline=120)
