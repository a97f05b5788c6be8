#!/usr/bin/python3
"""A quality picked from the list is saved by Apply and loaded by the next
start; text typed into the quality box does not stay."""
from pictures import selected_text_pixels, window_image
from program import (KEY_CODES, apply_key, control_rect, exit_with_button, pick_combo_item, run,
                     settings_record)
from xdisplay import expect, holds_for, wait_until

QUALITY_ITEMS = ["100", "90", "80", "70", "60", "50", "40", "30", "20", "10"]


def expect_record(ini, want, what):
    wait_until(lambda: ini.exists() and ini.read_bytes() == want, 5,
               f"{what}: set.ini holds {ini.read_bytes().hex(' ') if ini.exists() else 'nothing'}, "
               f"not {want.hex(' ')}")


def body(s):
    folder = s.install_app()
    ini = folder / "set.ini"
    app, window = s.start_snapwick(folder)

    pick_combo_item(s, window, "QualityCombo", QUALITY_ITEMS.index("30"), len(QUALITY_ITEMS))
    expect(holds_for(lambda: not ini.exists(), 1.0), "picking a quality wrote set.ini before Apply")
    apply_key(s, window, "F5")
    expect_record(ini, settings_record(30, 1, KEY_CODES["F5"], "F5"), "quality 30 picked and applied")

    exit_with_button(app, window)
    app, window = s.start_snapwick(folder)
    wait_until(lambda: window.title() == "Snapwick 1.1 (HotKey:F5)", 5,
               f"on the next start the title is {window.title()!r}")
    expect(ini.read_bytes() == settings_record(30, 1, KEY_CODES["F5"], "F5"),
           "the next start changed set.ini")

    # Nothing picked in this run: Apply saves the quality that was loaded.
    apply_key(s, window, "F6")
    expect_record(ini, settings_record(30, 1, KEY_CODES["F6"], "F6"), "Apply after the next start")

    # Shift+Tab from Apply goes to the quality box: F4 there drops its list
    # down, which shows that the box has the keyboard, and Escape closes the
    # list with the box's text selected. A typed "5" then replaces the text
    # and is put back to "30" at once. The "5" is the last key released in
    # the window, so Apply takes it as the hotkey.
    window.focus()
    s.x(["xdotool", "key", "shift+Tab"])
    s.x(["xdotool", "key", "F4"])
    wait_until(s.popup_menus, 10, "F4 after Shift+Tab from Apply did not drop the quality list down")
    s.x(["xdotool", "key", "Escape"])
    wait_until(lambda: not s.popup_menus(), 10, "Escape did not close the quality list")
    wait_until(lambda: selected_text_pixels(window_image(window, "quality_selected.png"),
                                                    control_rect("QualityCombo")) >= 20, 10,
               "the quality box's text is not selected")
    s.x(["xdotool", "key", "5"])
    window.click_control("ApplyButton")
    wait_until(lambda: window.title() == "Snapwick (HotKey:5)", 10,
               f"after typing 5 and Apply the title is {window.title()!r}")
    expect_record(ini, settings_record(30, 1, ord("5"), "5"), "Apply after typing 5 into the quality box")
    expect(app.alive(), "the program ended")


run("settings_apply_quality", body, deadline=150)
