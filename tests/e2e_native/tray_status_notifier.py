#!/usr/bin/python3
"""The icon in a StatusNotifier tray, whose host sends one "activate" for a
click: the program registers its item with the watcher, each activation
toggles the window (shown to hidden to shown), the close box hides the
window rather than minimising it as it would with no tray at all, and the
host's context menu request opens the menu: "Настройки" shows the hidden
window, "Выход" ends the program with status 0 and its item leaves the bus.
The watcher is a stand-in on the scenario's session bus
(status_notifier_watcher.py); the scenario plays its host."""
import re
from pathlib import Path

from native import run  # first: it puts the shared harness on the path
from popup_watch import PopupWatch
from tray_helpers import MENU, expect_focus_settled, expect_state
from xdisplay import expect, wait_until

ITEM = "org.kde.StatusNotifierItem"
WATCHER = Path(__file__).resolve().parent / "status_notifier_watcher.py"
# Where a panel at the top right would put the pointer on a click.
PANEL_POINT = (1900, 10)


def start_watcher(s):
    log = s.out / "watcher.log"
    s.spawn(["/usr/bin/python3", str(WATCHER)], log)
    wait_until(lambda: log.exists() and "watching" in log.read_text(), 15, "the watcher did not take its name")
    return log


def body(s):
    watcher_log = start_watcher(s)
    watch = PopupWatch(s)
    folder = s.install_app()
    app, window = s.start_snapwick(folder)
    registered = wait_until(lambda: re.findall(r"^item (\S+) (\S+)$", watcher_log.read_text(), re.M), 10,
                            "the program registered no item with the StatusNotifier watcher")
    expect(len(registered) == 1, f"the program registered {len(registered)} items: {registered}")
    a11y = s.accessibility()
    session = a11y.dbus.bus.BusConnection(s.env["DBUS_SESSION_BUS_ADDRESS"])
    item = session.get_object(*registered[0], introspect=False)
    icon = item.Get(ITEM, "IconPixmap", dbus_interface="org.freedesktop.DBus.Properties")
    expect(icon and all(w > 0 and h > 0 and len(data) == 4 * w * h for w, h, data in icon),
           f"the item shows no icon: {[(w, h, len(d)) for w, h, d in icon]}")

    def host(method):
        getattr(item, method)(*PANEL_POINT, dbus_interface=ITEM)

    expect_state(s, window, "normal", "at start")
    s.move_pointer(*PANEL_POINT)
    host("Activate")
    expect_state(s, window, "hidden", "one activation of the shown window")
    host("Activate")
    expect_state(s, window, "normal", "one activation of the hidden window")

    window.close_box()
    expect_state(s, window, "hidden", "the close box")
    expect_focus_settled(s, window, False, "the close box")

    host("ContextMenu")
    items = [(role, name) for role, name, _, _ in watch.menu()]
    expect(items == MENU, f"the tray menu holds {items}, not {MENU}")
    watch.click_item("Настройки")
    expect_state(s, window, "normal", "Настройки with the window hidden")
    wait_until(lambda: not s.popup_menus(), 5, "the menu stayed open after Настройки")
    expect_focus_settled(s, window, True, "Настройки")

    host("ContextMenu")
    watch.menu()
    watch.click_item("Выход")
    code = app.wait_exit(10)
    expect(code is not None, "Выход in the tray menu did not end the program")
    expect(code == 0, f"Выход in the tray menu ended the program with status {code}")
    wait_until(lambda: f"gone {registered[0][0]}" in watcher_log.read_text(), 5,
               "the item stayed on the bus after Выход")


run("tray_status_notifier", body, deadline=120, tray=None)
