"""What a StatusNotifier panel (xfce4-panel, KDE's) asks of the program's
item over the scenario's session bus, with the stand-in watcher of
status_notifier_watcher.py: the item that registered, its properties, the
icon's pixels, and the menu it exports (com.canonical.dbusmenu), read and
clicked as the panel does."""

import re
from pathlib import Path

from xdisplay import expect, wait_until

ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
PROPERTIES = "org.freedesktop.DBus.Properties"
WATCHER = Path(__file__).resolve().parent / "status_notifier_watcher.py"


class Host:
    """The watcher (started by start()) and the scenario playing the host."""

    def __init__(self, s):
        import dbus
        self.s = s
        self.dbus = dbus
        self.log = s.out / "watcher.log"
        self.proc = None
        self.bus = dbus.bus.BusConnection(s.env["DBUS_SESSION_BUS_ADDRESS"])

    def start(self):
        """Starts a watcher; returns the number of "watching" lines so far."""
        self.proc = self.s.spawn(["/usr/bin/python3", str(WATCHER)], self.log)
        count = self._text().count("watching")
        wait_until(lambda: self._text().count("watching") > count - 1 and self.proc.poll() is None
                   and self._owned(), 15, "the StatusNotifier watcher did not take its name")
        return count

    def _owned(self):
        names = self.bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        return bool(names.NameHasOwner("org.kde.StatusNotifierWatcher", dbus_interface="org.freedesktop.DBus"))

    def _text(self):
        return self.log.read_text() if self.log.exists() else ""

    def items(self):
        """[(bus name, path)] of every registration so far."""
        return re.findall(r"^item (\S+) (\S+)$", self._text(), re.M)

    def wait_items(self, count, what):
        return wait_until(lambda: len(self.items()) >= count and self.items(), 15, what)

    def item(self, registration):
        return self.bus.get_object(*registration, introspect=False)

    def prop(self, registration, name):
        return self.item(registration).Get(ITEM, name, dbus_interface=PROPERTIES)

    def menu(self, registration):
        """The item's exported menu object, failing if it exports none."""
        path = str(self.prop(registration, "Menu"))
        expect(path not in ("", "/", "/NO_DBUSMENU"),
               f"the item exports no menu (Menu={path!r}): a panel would show a menu of its own")
        return self.bus.get_object(registration[0], path, introspect=False)

    def menu_items(self, registration):
        """[(id, type, label, visible, enabled)] of the menu's top level, as
        GetLayout gives it to a panel that is about to show it."""
        menu = self.menu(registration)
        menu.AboutToShow(self.dbus.Int32(0), dbus_interface=MENU)
        _, (_, _, children) = menu.GetLayout(self.dbus.Int32(0), self.dbus.Int32(-1),
                                             self.dbus.Array([], signature="s"), dbus_interface=MENU)
        items = []
        for child in children:
            ident, props, _ = child
            items.append((int(ident), str(props.get("type", "standard")), str(props.get("label", "")),
                          bool(props.get("visible", True)), bool(props.get("enabled", True))))
        return items

    def click(self, registration, ident):
        """The panel's message for a click on the item ident."""
        self.menu(registration).Event(self.dbus.Int32(ident), "clicked", self.dbus.String("", variant_level=1),
                                      self.dbus.UInt32(0), dbus_interface=MENU)

    def icon_pixmaps(self, registration):
        """[(width, height, [(a, r, g, b) row by row])] of IconPixmap."""
        out = []
        for w, h, data in self.prop(registration, "IconPixmap"):
            raw = bytes(data)
            expect(len(raw) == 4 * w * h, f"a {w}x{h} icon pixmap holds {len(raw)} bytes")
            out.append((int(w), int(h), [tuple(raw[i:i + 4]) for i in range(0, len(raw), 4)]))
        return out

    def stop(self, crash=True):
        """Ends the watcher as a crashing (SIGKILL) or closing panel would."""
        if crash:
            self.proc.kill()
        else:
            self.proc.terminate()
        self.proc.wait(10)
        wait_until(lambda: not self._owned(), 10, "the watcher's name stayed on the bus")
