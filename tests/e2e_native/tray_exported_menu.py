#!/usr/bin/python3
"""A StatusNotifier panel draws the program's own menu: the item exports it
over D-Bus (com.canonical.dbusmenu), as xfce4-panel 4.18 needs, instead of
Menu=/NO_DBUSMENU, which got the panel's own menu. Its layout holds
"Настройки", a separator and "Выход"; the panel's click on "Настройки" shows
the hidden window, on "Выход" ends the program with status 0. The icon the
item exports is transparent around the monitor at every size it offers."""
from native import run  # first: it puts the shared harness on the path
from status_notifier_host import Host
from tray_helpers import expect_state
from xdisplay import expect

WANT = [("standard", "Настройки"), ("separator", ""), ("standard", "Выход")]
# The sizes a panel picks from; larger ones are left to it to scale down.
PANEL_SIZES = {16, 22, 24, 32, 48}


def check_icon(host, item):
    pixmaps = host.icon_pixmaps(item)
    sizes = {w for w, h, _ in pixmaps if w == h}
    expect(PANEL_SIZES <= sizes, f"the item offers the icon at {sorted(sizes)}, not at every one of "
                                 f"{sorted(PANEL_SIZES)}")
    for w, h, pixels in pixmaps:
        corners = [pixels[0], pixels[w - 1], pixels[(h - 1) * w], pixels[h * w - 1]]
        expect(all(p[0] == 0 for p in corners),
               f"the {w}x{h} icon is opaque in its corners (alpha {[p[0] for p in corners]})")
        screen = pixels[(h // 3) * w + w // 2]
        expect(screen[0] == 255, f"the {w}x{h} icon's screen is not opaque: {screen}")
        clear = sum(1 for p in pixels if p[0] == 0)
        expect(w * h // 5 < clear < w * h // 2, f"the {w}x{h} icon has {clear} clear pixels of {w * h}")


def body(s):
    host = Host(s)
    host.start()
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    item = host.wait_items(1, "the program registered no item with the StatusNotifier watcher")[0]
    check_icon(host, item)

    items = host.menu_items(item)
    shown = [(kind, label) for _, kind, label, _, _ in items]
    expect(shown == WANT, f"the exported menu holds {shown}, not {WANT}")
    expect(all(visible and enabled for _, _, _, visible, enabled in items),
           f"an item of the exported menu is hidden or disabled: {items}")
    ids = {label: ident for ident, _, label, _, _ in items}

    window.close_box()
    expect_state(s, window, "hidden", "the close box")
    host.click(item, ids["Настройки"])
    expect_state(s, window, "normal", "Настройки clicked in the panel's menu")

    host.click(item, ids["Выход"])
    code = app.wait_exit(10)
    expect(code is not None, "Выход clicked in the panel's menu did not end the program")
    expect(code == 0, f"Выход in the panel's menu ended the program with status {code}")


run("tray_exported_menu", body, deadline=120, tray=None)
