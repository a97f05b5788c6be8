"""The program's pop-up menus as the accessibility bus shows them. Qt leaves
pop-ups out of its tree of accessible objects, but a pop-up announces itself
("showing") when it appears, once some client has registered for that
event, as a screen reader does. dbus-monitor records the announcements; the
menu's items, with their texts and rectangles, are then read from the menu
object itself."""

import re

from xdisplay import expect, wait_until

_EVENT = "object:state-changed:showing"
_RULE = "type='signal',interface='org.a11y.atspi.Event.Object',member='StateChanged'"
_SHOWN = re.compile(r"sender=(\S+) .*?path=(\S+);.*?member=StateChanged\n\s+string \"showing\"\n\s+int32 1")
_STATE_SHOWING = 25


class PopupWatch:
    """Start it before the program, so that Qt knows from its start that the
    event is wanted."""

    def __init__(self, s):
        self.s = s
        self.a11y = s.accessibility()
        registry = self.a11y.bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/registry")
        registry.RegisterEvent(_EVENT, self.a11y.dbus.Array([], signature="s"), "",
                               dbus_interface="org.a11y.atspi.Registry")
        self.log = s.out / "a11y-shown.log"
        s.spawn(["dbus-monitor", "--address", self.a11y.address, _RULE], self.log)
        # The monitor drops its own name once it listens.
        wait_until(lambda: self.log.exists() and "member=NameLost" in self.log.read_text(), 10,
                   "dbus-monitor did not start on the accessibility bus")

    def _shown(self):
        return [(m.group(1), m.group(2)) for m in _SHOWN.finditer(self.log.read_text(errors="replace"))]

    def menu(self, timeout=10):
        """The pop-up menu that is shown now: [(role, name, (x, y, w, h), ref)]
        for each of its items, top down."""
        def showing():
            for ref in reversed(self._shown()):
                try:
                    if (self.a11y.role_name(ref) == "popup menu"
                            and self.a11y.has_state(ref, _STATE_SHOWING)):
                        return ref
                except self.a11y.dbus.DBusException:
                    continue  # gone since
            return None
        menu = wait_until(showing, timeout, "no pop-up menu announced itself on the accessibility bus")
        return [(self.a11y.role_name(c), self.a11y.name(c), self.a11y.extents(c), c)
                for c in self.a11y.children(menu)]

    def click_item(self, name):
        """Clicks the middle of the shown menu's item called name."""
        items = [i for i in self.menu() if i[0] == "menu item" and i[1] == name]
        expect(len(items) == 1, f"the menu has {len(items)} items called {name!r}")
        x, y, w, h = items[0][2]
        self.s.move_pointer(x + w // 2, y + h // 2)
        self.s.x(["xdotool", "click", "1"])
