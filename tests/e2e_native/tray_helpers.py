"""What the tray scenarios look at: the window's state as the window
manager keeps it, and the tray menu's items."""

import re

from xdisplay import wait_until

# How long a single click is given to show that it is not half a double-click.
AFTER_CLICK = 1.5
MENU = [("menu item", "Настройки"), ("separator", ""), ("menu item", "Выход")]


def window_state(s, window):
    """"normal", "minimised" (iconic) or "hidden" (withdrawn), as the window
    manager keeps it."""
    r = s.x(["xprop", "-id", str(window.id), "WM_STATE", "_NET_WM_STATE"], check=False)
    text = r.stdout.decode("utf-8", "replace")
    state = re.search(r"window state: (\w+)", text)
    state = state.group(1) if state else "Withdrawn"
    viewable = window.viewable()
    if state == "Normal" and viewable and "_NET_WM_STATE_HIDDEN" not in text:
        return "normal"
    if state == "Iconic" and not viewable:
        return "minimised"
    if state == "Withdrawn" and not viewable:
        return "hidden"
    return f"odd: WM_STATE {state}, viewable {viewable}, {text.strip()!r}"


def expect_state(s, window, want, what):
    wait_until(lambda: window_state(s, window) == want, 10,
               f"{what}: the window is {window_state(s, window)}, not {want}")
