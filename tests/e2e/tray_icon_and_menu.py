#!/usr/bin/python3
"""The tray icon: a double-click shows and hides the window, the right button
opens the menu on its press; "Настройки" shows the window, "Выход" ends the
program and takes the icon away, also while the window is hidden. The
pointer moving over the window itself is no tray event."""
from pictures import check_letters_drawn, crop, window_image
from program import TITLE_F8, client_size, control_rect, control_roles, run, tray_menu_items
from xdisplay import SCREEN_H, SCREEN_W, ScenarioFailed, expect, holds_for, wait_until

# An item of the menu is clicked 10 px inside the menu's top or bottom edge.
ITEM_EDGE = 10


def bare_rows():
    """A row in the middle of each band of the client area that crosses no
    control (above the folder frame, between the frames, between the
    settings frame and the buttons, below the buttons): there the window
    itself receives the pointer's moves at every x."""
    _, h = client_size()
    covered = set()
    for role in control_roles():
        _, y, _, ch = control_rect(role)
        covered.update(range(y, y + ch))
    rows, band = [], []
    for row in range(h + 1):
        if row < h and row not in covered:
            band.append(row)
        elif band:
            rows.append(band[len(band) // 2])
            band = []
    expect(len(rows) == 4, f"the controls leave {len(rows)} bare bands of rows, not 4: {rows}")
    return rows


def click_menu_item(menu, name):
    """Clicks the first or the last item of the menu, by its name."""
    items = tray_menu_items()
    expect(name in (items[0], items[-1]), f"{name} is not the first or last of the menu's items {items}")
    _, _, w, h, _ = menu.info()
    menu.click(w // 2, ITEM_EDGE if name == items[0] else h - ITEM_EDGE)


def open_menu(s):
    s.point_at_tray_icon()
    s.x(["xdotool", "mousedown", "3"])
    try:
        menus = wait_until(s.popup_menus, 5, "no pop-up menu while the right button is held down")
    finally:
        s.x(["xdotool", "mouseup", "3"])
    expect(len(menus) == 1, f"{len(menus)} pop-up menus are open")
    px, py = s.pointer_position()
    mx, my, _, _, _ = menus[0].info()
    expect(abs(mx - px) <= 1 and abs(my - py) <= 1,
           f"the menu opened at {mx},{my}, not with its top left corner at the pointer ({px},{py})")
    expect(holds_for(lambda: len(s.popup_menus()) == 1, 0.5),
           "the release of the right button closed the menu or opened another")
    return menus[0]


def check_menu_picture(img):
    """Two captions with a separator line between them, "Настройки" above,
    the shorter "Выход" below."""
    w, h = img.size
    background = img.getpixel((w // 2, 2))

    def line_row(y):
        middle = [img.getpixel((x, y)) for x in range(w // 4, 3 * w // 4)]
        return all(p != background and 300 <= sum(p) <= 690 for p in middle)
    rows = [y for y in range(3, h - 3) if line_row(y)]
    expect(len(rows) == 1 or (len(rows) == 2 and rows[1] == rows[0] + 1),
           f"the menu shows {len(rows)} separator rows ({rows}), not one separator")
    top = (2, 2, w - 4, rows[0] - 3)
    bottom = (2, rows[-1] + 2, w - 4, h - rows[-1] - 4)
    top_ink = check_letters_drawn(img, top, "Настройки", "the menu's first item")
    bottom_ink = check_letters_drawn(img, bottom, "Выход", "the menu's last item")

    def width(points):
        return max(i for i, _ in points) - min(i for i, _ in points) + 1
    expect(width(top_ink) >= 1.3 * width(bottom_ink),
           f"the first item is {width(top_ink)} px wide, the last {width(bottom_ink)}: "
           f"not \"Настройки\" above \"Выход\"")


def move_along(s, window, path):
    x, y, _, _, _ = window.info()
    argv = ["xdotool"]
    for px, py in path:
        argv += ["mousemove", str(x + px), str(y + py), "sleep", "0.002"]
    s.x(argv, timeout=60)


def sweep(s, window):
    """Moves the pointer over the whole client area: every x on the bare
    rows, a grid of points elsewhere."""
    _, _, w, h, _ = window.info()
    for row in bare_rows():
        move_along(s, window, [(i, row) for i in range(w)])
    for row in range(0, h, 8):
        move_along(s, window, [(i, row) for i in range(0, w, 3)])


def over_apply(s, window):
    """A few moves inside the Apply button, ending at its centre."""
    cx, cy, cw, ch = control_rect("ApplyButton")
    move_along(s, window, [(cx + cw // 2 + d, cy + ch // 2) for d in (-20, -10, 0, 10, 0)])


def steady_look(window, rect):
    """The pixels of rect once five screenshots in a row, over a second, agree."""
    looks = []

    def settled():
        looks.append(crop(window_image(window, "before_sweep.png"), rect).tobytes())
        del looks[:-5]
        return len(looks) == 5 and len(set(looks)) == 1
    wait_until(settled, 20, "the window did not finish painting", interval=0.2)
    return looks[-1]


def check_pointer_is_no_tray_event(s, window):
    s.move_pointer(SCREEN_W - 10, SCREEN_H - 10)  # away from the window and the tray
    apply = control_rect("ApplyButton")
    still = steady_look(window, apply)
    sweep(s, window)
    # The Apply button takes on its hover look: the pointer's moves do reach
    # the window. A busy machine may be slow to show it: move over it again then.
    for _ in range(3):
        over_apply(s, window)
        if not holds_for(lambda: crop(window_image(window, "after_sweep.png"), apply).tobytes() == still,
                         5.0, interval=0.2):
            break
        s.log("the Apply button does not show the pointer over it yet")
    else:
        raise ScenarioFailed("the pointer's moves do not reach the window: "
                             "the Apply button never showed the pointer over it")
    expect(holds_for(lambda: window.viewable() and not s.popup_menus(), 2.5),
           "moving the pointer over the window hid it or opened a menu")
    expect(window.title() == TITLE_F8, f"the title changed to {window.title()!r}")


def body(s):
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    wait_until(lambda: s.tray_icons() == 1, 10, "the tray icon did not appear")
    expect(window.info()[2:4] == client_size(), "the window is not its own size")

    check_pointer_is_no_tray_event(s, window)

    # From shown (as start-up leaves it) to hidden and back.
    s.click_tray_icon(double=True)
    wait_until(lambda: not window.viewable(), 10, "a double-click on the icon did not hide the shown window")
    s.click_tray_icon(double=True)
    wait_until(window.viewable, 10, "a second double-click did not show the window again")

    # From hidden by the close box.
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
    x, y, w, h, _ = menu.info()
    expect(60 <= w <= 300 and 35 <= h <= 80, f"the menu is {w}x{h}: not two items and a separator")
    check_menu_picture(window_image(menu, "menu.png"))
    click_menu_item(menu, "SettingsItem")
    wait_until(window.viewable, 10, "Настройки did not show the window")
    wait_until(lambda: not s.popup_menus(), 5, "the menu stayed open")
    expect(app.alive(), "Настройки ended the program")

    window.close_box()
    wait_until(lambda: not window.viewable(), 10, "the close box did not hide the window")
    click_menu_item(open_menu(s), "ExitItem")
    code = app.wait_exit(10)
    expect(code is not None, "Выход in the tray menu did not end the program")
    wait_until(lambda: s.tray_icons() == 0, 5, "the tray icon is still shown after Выход")
    expect(not s.prefix_processes("snapwick.exe"), "a snapwick.exe process is left")


run("tray_icon_and_menu", body, deadline=120)
