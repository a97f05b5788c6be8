#!/usr/bin/python3
"""The tray icon: a double-click shows and hides the window, the right button
opens the menu on its press; "Настройки" shows the window, "Выход" ends the
program and takes the icon away, also while the window is hidden."""
from harness import TITLE_F8, expect, holds_for, run, wait_until

# The menu's items top down: "Настройки", a separator, "Выход"; an item is
# clicked 10 px inside the menu's top or bottom edge.
ITEM_EDGE = 10


def open_menu(s):
    s.point_at_tray_icon()
    s.x(["xdotool", "mousedown", "3"])
    try:
        menus = wait_until(s.popup_menus, 5, "no pop-up menu while the right button is held down")
    finally:
        s.x(["xdotool", "mouseup", "3"])
    expect(len(menus) == 1, f"{len(menus)} pop-up menus are open")
    return menus[0]


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: s.tray_icons() == 1, 10, "the tray icon did not appear")
    window.close_box()
    wait_until(lambda: not window.viewable(), 10, "the close box did not hide the window")

    s.click_tray_icon(double=True)
    wait_until(window.viewable, 10, "a double-click on the icon did not show the window")
    expect(window.title() == TITLE_F8, f"title is {window.title()!r}")
    s.click_tray_icon(double=True)
    wait_until(lambda: not window.viewable(), 10, "a second double-click did not hide the window")

    s.click_tray_icon()
    expect(holds_for(lambda: not window.viewable() and not s.popup_menus(), 1.0),
           "a single left click on the icon did something")

    menu = open_menu(s)
    menu.screenshot("menu.png")
    x, y, w, h, _ = menu.info()
    expect(60 <= w <= 300 and 35 <= h <= 80, f"the menu is {w}x{h}: not two items and a separator")
    menu.click(w // 2, ITEM_EDGE)  # Настройки
    wait_until(window.viewable, 10, "Настройки did not show the window")
    wait_until(lambda: not s.popup_menus(), 5, "the menu stayed open")
    expect(app.alive(), "Настройки ended the program")

    window.close_box()
    wait_until(lambda: not window.viewable(), 10, "the close box did not hide the window")
    menu = open_menu(s)
    _, _, w, h, _ = menu.info()
    menu.click(w // 2, h - ITEM_EDGE)  # Выход
    code = app.wait_exit(10)
    expect(code is not None, "Выход in the tray menu did not end the program")
    wait_until(lambda: s.tray_icons() == 0, 5, "the tray icon is still shown after Выход")


run("tray_icon_and_menu", body, deadline=120)
