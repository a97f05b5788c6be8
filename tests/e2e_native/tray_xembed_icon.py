#!/usr/bin/python3
"""The icon in an XEmbed tray (trayer). A double-click toggles the window:
shown to hidden and back, and a minimised window to hidden and back
restored, never left minimised; a single click does nothing, the window
shown or hidden. The right button opens the menu on its press, named
"Настройки", a separator, "Выход" on the accessibility bus: "Настройки"
shows the hidden window, "Выход" ends the program with status 0 and takes
the icon away."""
from native import run  # first: it puts the shared harness on the path
from popup_watch import PopupWatch
from tray_helpers import AFTER_CLICK, MENU, expect_focus_settled, expect_state, window_state
from xdisplay import expect, holds_for, wait_until


def open_menu(s, watch):
    """Presses the right button on the icon; the menu must come before the
    release and stay after it. Returns its items' (role, name)."""
    icon = s.tray_icon()
    x, y, w, h, _ = icon.info()
    s.move_pointer(x + w // 2, y + h // 2)
    s.x(["xdotool", "mousedown", "3"])
    try:
        wait_until(s.popup_menus, 10, "no menu while the right button is held on the icon")
    finally:
        s.x(["xdotool", "mouseup", "3"])
    expect(holds_for(lambda: len(s.popup_menus()) == 1, 0.5), "the menu did not stay after the release")
    return [(role, name) for role, name, _, _ in watch.menu()]


def body(s):
    watch = PopupWatch(s)
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(s.tray_icon, 10, "the icon did not dock in the tray")
    expect_state(s, window, "normal", "at start")

    s.click_tray_icon(double=True)
    expect_state(s, window, "hidden", "a double-click on the shown window")
    s.click_tray_icon(double=True)
    expect_state(s, window, "normal", "a double-click on the hidden window")

    s.x(["xdotool", "windowminimize", "--sync", str(window.id)])
    expect_state(s, window, "minimised", "windowminimize")
    s.click_tray_icon(double=True)
    expect_state(s, window, "hidden", "a double-click on the minimised window")
    s.click_tray_icon(double=True)
    expect_state(s, window, "normal", "a double-click after the minimised window was hidden")

    for state in ("normal", "hidden"):
        if state == "hidden":
            s.click_tray_icon(double=True)
            expect_state(s, window, "hidden", "a double-click")
        s.click_tray_icon()
        expect(holds_for(lambda: window_state(s, window) == state and not s.popup_menus(), AFTER_CLICK),
               f"a single click with the window {state} left it {window_state(s, window)} "
               f"with {len(s.popup_menus())} pop-up(s)")

    expect_focus_settled(s, window, False, "the window hidden")
    items = open_menu(s, watch)
    expect(items == MENU, f"the tray menu holds {items}, not {MENU}")
    watch.click_item("Настройки")
    expect_state(s, window, "normal", "Настройки with the window hidden")
    wait_until(lambda: not s.popup_menus(), 5, "the menu stayed open after Настройки")
    expect_focus_settled(s, window, True, "Настройки")

    expect(open_menu(s, watch) == MENU, "the menu changed")
    watch.click_item("Выход")
    code = app.wait_exit(10)
    expect(code is not None, "Выход in the tray menu did not end the program")
    expect(code == 0, f"Выход in the tray menu ended the program with status {code}")
    wait_until(lambda: s.tray_icon() is None, 5, "the icon stayed in the tray after Выход")


run("tray_xembed_icon", body, deadline=120)
